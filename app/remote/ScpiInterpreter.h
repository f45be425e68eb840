// Runs program messages against a command table, one unit after the other,
// applying SCPI's compound header rule:
//
//   :TRIGger:LEVel 0.5;SLOPe NEG      SLOPe is :TRIGger:SLOPe
//   :TRIGger:LEVel 0.5;:RUN           a leading ':' starts from the root
//   :TRIGger:LEVel 0.5;*CLS;SLOPe NEG a common command leaves the path alone
//
// A command error (-1xx) ends the message: the units after it are not run.
// Execution errors (-2xx) do not. Responses of the queries in one message
// form one response message, units joined by ';' and ended by a newline.
//
// A unit may defer itself (*OPC? while an acquisition runs): the message
// then waits, with everything before that unit done, until Resume() finds
// the unit willing to finish. Each client keeps its own conversation; the
// status (error queue, event registers) is shared.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/remote/ScpiCommandTable.h"
#include "app/remote/ScpiErrors.h"
#include "app/remote/ScpiResponse.h"

namespace lumatrace {

// One client's program message in progress.
struct ScpiConversation {
    std::string message;
    std::size_t next = 0;           // offset of the unit to run next
    std::vector<std::string> path;  // compound-header path in force there
    ScpiResponseMessage response;   // response units so far
    bool waiting = false;
};

class ScpiInterpreter {
  public:
    ScpiInterpreter(const ScpiCommandTable& table, ScpiStatus& status)
        : table_(table), status_(status) {}

    enum class Outcome {
        kDone,     // conversation.response is the response message ("" or ending in '\n')
        kWaiting,  // a unit deferred itself; call Resume() later
    };

    // Starts a program message (one line, without its newline).
    Outcome Execute(ScpiConversation& conversation, std::string message);
    // Continues a waiting message with the unit that deferred.
    Outcome Resume(ScpiConversation& conversation);

    ScpiStatus& status() { return status_; }

  private:
    Outcome Run(ScpiConversation& conversation);

    const ScpiCommandTable& table_;
    ScpiStatus& status_;
};

}  // namespace lumatrace
