#include "model/titel_def.h"
#include "titles/titel_definitionen_datei.h"

#include <cstdint>
#include <cstdlib>

// Any bytes: the definitions read before any damage survive a save and a second read unchanged.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    auto read = [](QByteArrayView b, vqs::KeyedCollection<vqs::TitelDef>& into) {
        return vqs::scanTitelDefinitionen(b, {}, [&](qint64, std::optional<vqs::TitelDef>&& d) {
            if (d) into.add(d->id().text(), *d);
        });
    };
    vqs::KeyedCollection<vqs::TitelDef> first;
    read(bytes, first);
    vqs::KeyedCollection<vqs::TitelDef> second;
    if (read(vqs::encodeTitelDefinitionen(first), second).status !=
        vqs::TitelDefinitionenScan::kWhole)
        std::abort();
    if (second.size() != first.size()) std::abort();
    auto a = first.begin();
    for (auto b = second.begin(); b != second.end(); ++a, ++b) {
        // Texts go through Windows-1252: what it cannot hold comes back as "?".
        if (a->key.size() != b->key.size() || a->value.Aktiv != b->value.Aktiv ||
            a->value.UseBidAsk != b->value.UseBidAsk || a->value.NeueNamen != b->value.NeueNamen)
            std::abort();
    }
    return 0;
}
