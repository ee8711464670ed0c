// brom.dll stand-in: handle registries shared by the exports.
#include "companions/brom/library_objects.h"

namespace brom {

Registry<DownloadList>& DownloadLists() {
    static Registry<DownloadList> registry;
    return registry;
}
Registry<DownloadAgent>& DownloadAgents() {
    static Registry<DownloadAgent> registry;
    return registry;
}
Registry<RomList>& RomLists() {
    static Registry<RomList> registry;
    return registry;
}
Registry<Connection>& Connections() {
    static Registry<Connection> registry;
    return registry;
}

}  // namespace brom
