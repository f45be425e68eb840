#include "app/remote/ScpiInterpreter.h"

#include <utility>

#include "app/remote/ScpiParser.h"

namespace lumatrace {

namespace {

std::string HeaderText(const ScpiHeader& header, const std::vector<std::string>& nodes) {
    std::string text = header.common ? "*" : "";
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (!header.common) {
            text += ':';
        }
        text += nodes[i];
    }
    if (header.query) {
        text += '?';
    }
    return text;
}

}  // namespace

ScpiInterpreter::Outcome ScpiInterpreter::Execute(ScpiConversation& conversation,
                                                  std::string message) {
    conversation.message = std::move(message);
    conversation.next = 0;
    conversation.path.clear();
    conversation.response.clear();
    conversation.waiting = false;
    return Run(conversation);
}

ScpiInterpreter::Outcome ScpiInterpreter::Resume(ScpiConversation& conversation) {
    if (!conversation.waiting) {
        return Outcome::kDone;
    }
    return Run(conversation);
}

ScpiInterpreter::Outcome ScpiInterpreter::Run(ScpiConversation& c) {
    ScpiMessageReader reader(c.message, c.next);
    while (true) {
        const std::size_t unitStart = reader.position();
        std::optional<ScpiUnit> unit = reader.Next();
        if (!unit) {
            if (const auto& error = reader.error()) {
                status_.Push(error->code, error->detail);
            }
            break;
        }
        const ScpiHeader& header = unit->header;
        std::vector<std::string> nodes;
        if (!header.common && !header.absolute) {
            nodes = c.path;
        }
        nodes.insert(nodes.end(), header.nodes.begin(), header.nodes.end());

        const ScpiCommandTable::Lookup lookup = table_.Find(nodes, header.common, header.query);
        if (!lookup.handler) {
            status_.Push(lookup.error, HeaderText(header, nodes));
            break;  // a command error
        }
        ScpiCall call(*unit, lookup.suffixes, status_, c.response);
        (*lookup.handler)(call);
        if (call.deferred()) {
            c.next = unitStart;
            c.waiting = true;
            return Outcome::kWaiting;
        }
        if (call.commandError()) {
            break;
        }
        if (!header.common) {
            nodes.pop_back();
            c.path = std::move(nodes);
        }
    }
    if (!c.response.empty()) {
        c.response.Text() += '\n';
    }
    c.waiting = false;
    c.next = c.message.size();
    return Outcome::kDone;
}

}  // namespace lumatrace
