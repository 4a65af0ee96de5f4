#include "app/datenpflege.h"

#include "app/recorder.h"

namespace vqs {

DatenpflegeResult DatenpflegeRun::run(const std::vector<TitelDef>& /*titles*/, double /*startzeit*/,
                                      DatenpflegeProgress& /*progress*/) {
    DatenpflegeResult result;
    if (running_) {
        result.started = false;
        return result;
    }
    return result;
}

}  // namespace vqs
