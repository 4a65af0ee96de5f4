#pragma once

#include "broker/fix_broker.h"
#include "recording/settings_store.h"

#include <QString>

namespace vqs {

// Where the quotes come from ("[Kursquelle] Art"): the built-in simulated broker unless "FIX".
enum class Kursquelle { kSimulation, kFix };
Kursquelle kursquelle(const SettingsStore& settings);

// The FIX source's settings from "[Kursquelle]", with the password from the password file;
// QuickFIX keeps its sequence numbers in "<program folder>/FIX". Throws VqsError when a setting
// is not usable (the message names it) or the password file is refused.
broker::FixSourceSettings readFixSource(const SettingsStore& settings,
                                        const QString& programFolder);

}  // namespace vqs
