#include "common/error.h"
#include "titles/titel_def.h"
#include "titles/titel_definitionen_datei.h"

#include <cstdint>
#include <cstdlib>

// Any bytes: either a clean refusal, or values that survive a write and a second read.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        std::optional<vqs::TaggedValue> value = vqs::decodeTitelDefinitionen(bytes);
        if (!value) return 0;
        if (value->isList()) {
            for (const vqs::TaggedValue& element : value->items())
                (void)vqs::TitelDef::fromTagged(element);
        }
        QByteArray again(vqs::kTitelDefinitionenKennung, vqs::kTitelDefinitionenKennungLength);
        vqs::writeTaggedValue(again, *value);
        std::optional<vqs::TaggedValue> reread = vqs::decodeTitelDefinitionen(again);
        if (!reread || !(*reread == *value)) std::abort();
    } catch (const vqs::VqsError&) {
    }
    return 0;
}
