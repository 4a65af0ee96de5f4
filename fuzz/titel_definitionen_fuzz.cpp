#include "model/titel_def_collection.h"
#include "titles/titel_definitionen_datei.h"

#include <cstdint>
#include <cstdlib>

// Any bytes: the definitions read before any damage survive a save and a second read unchanged.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    auto read = [](QByteArrayView b, vqs::TitelDefCollection& into) {
        vqs::TitelDefinitionenHandlers handlers;
        handlers.onDefinition = [&](qint64, std::optional<vqs::TitelDef>&& d) {
            if (d) into.add(*d);
        };
        return vqs::scanTitelDefinitionen(b, handlers);
    };
    vqs::TitelDefCollection first;
    read(bytes, first);
    vqs::TitelDefCollection second;
    if (read(vqs::encodeTitelDefinitionen(first), second).status !=
        vqs::TitelDefinitionenScan::kWhole)
        std::abort();
    if (second.size() != first.size()) std::abort();
    auto a = first.begin();
    for (auto b = second.begin(); b != second.end(); ++a, ++b) {
        const vqs::TitelDef x = *a, y = *b;
        // Texts go through Windows-1252: what it cannot hold comes back as "?".
        if (x.id().text().size() != y.id().text().size() || x.Aktiv != y.Aktiv ||
            x.UseBidAsk != y.UseBidAsk || x.NeueNamen != y.NeueNamen)
            std::abort();
    }
    return 0;
}
