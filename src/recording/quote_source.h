#pragma once

#include "broker/fix_broker.h"
#include "recording/keyring.h"
#include "recording/settings_store.h"

#include <QString>

namespace vqs {

// Where the quotes come from ("[Kursquelle] Art"): the built-in simulated broker unless "FIX".
enum class Kursquelle { kSimulation, kFix };
Kursquelle kursquelle(const SettingsStore& settings);

// The FIX source's settings from "[Kursquelle]", with the password from the keyring, or where the
// keyring holds none or does not answer, from the password file; QuickFIX keeps its sequence
// numbers in "<program folder>/FIX". Throws VqsError when a setting is not usable (the message
// names it), the password file is refused, or a user is named whose password neither gives.
broker::FixSourceSettings readFixSource(const SettingsStore& settings, const QString& programFolder,
                                        Keyring& keyring);

}  // namespace vqs
