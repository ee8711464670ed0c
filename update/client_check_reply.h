// The client check's XML answer, read with the platform's XML DOM.
#pragma once

#include <optional>
#include <string>

namespace TVSP {

struct ClientCheckReply {
    std::wstring version;  // empty when the reply names none: then no newer tool
    std::wstring url;
};

// Root "result" whose first child is "updateinfo"; its "version" and "url" children (names
// without case, the later of a duplicate winning). nullopt when the DOM cannot be made, the text
// does not load, or the names are wrong.
[[nodiscard]] std::optional<ClientCheckReply> ParseClientCheckReply(const std::wstring& text);

}  // namespace TVSP
