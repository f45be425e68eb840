// Whatever a client sends: the framer cuts it, the interpreter runs every
// message against the whole command set on a fake instrument, and nothing
// crashes, no response is malformed and the error queue stays bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/remote/RemoteCommands.h"
#include "app/remote/ScpiInputFramer.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/testing/FakeInstrument.h"

namespace {

// Built once: the command set's value lists are not cheap. Each input starts
// from the same state again (*RST and *CLS also reset the remote settings).
struct World {
    lumatrace::FakeInstrument fake;
    lumatrace::ScpiStatus status{8};
    lumatrace::RemoteCommands commands{fake, status};
    lumatrace::ScpiInterpreter interpreter{commands.table(), status};

    void Reset(bool measurementEngine) {
        using namespace lumatrace;
        fake = FakeInstrument{};
        RemoteRecord record;
        record.codes = {0, 512, 1023, kRemoteNoSample};
        record.xIncrement = 1e-8;
        record.yIncrement = 5.0 / 1024.0;
        record.yOrigin = 512.0;
        fake.records[RemoteSource::kCh1] = record;
        // CH2 lent as sample words, the way the program hands out its buffers.
        static const std::uint32_t kWords[] = {0x03FF0000, 0xFFFFFFFF, 0xFFFF0064, 0x02000200};
        RemoteRecord lent = record;
        lent.codes.clear();
        lent.words = kWords;
        lent.shift = 16;
        fake.records[RemoteSource::kCh2] = lent;
        fake.measurementEngine = measurementEngine;
        ScpiConversation c;
        interpreter.Execute(c, "*RST;*CLS;*ESE 0;*SRE 0");
        fake.calls.clear();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumatrace;
    static World world;
    world.Reset(size > 0 && (data[0] & 1) != 0);
    FakeInstrument& fake = world.fake;
    ScpiStatus& status = world.status;
    ScpiInterpreter& interpreter = world.interpreter;

    ScpiInputFramer framer(256);
    framer.Feed(std::string_view(reinterpret_cast<const char*>(data), size));
    framer.Feed("\n");
    ScpiConversation conversation;
    while (framer.HasMessage()) {
        const ScpiFramedMessage m = framer.TakeMessage();
        if (m.overrun) {
            status.Push(-363);
            continue;
        }
        if (m.text.size() > 256) {
            std::abort();
        }
        auto outcome = interpreter.Execute(conversation, m.text);
        if (outcome == ScpiInterpreter::Outcome::kWaiting) {
            // A Single run ends; the deferred unit must then finish.
            fake.FinishSingle();
            outcome = interpreter.Resume(conversation);
            if (outcome != ScpiInterpreter::Outcome::kDone) {
                std::abort();
            }
        }
        const std::string r = conversation.response.str();
        if (!r.empty() && r.back() != '\n') {
            std::abort();
        }
        if (status.Count() > status.Capacity()) {
            std::abort();
        }
    }
    return 0;
}
