#include "recording/quote_source.h"

#include "common/error.h"
#include "common/password_file.h"

namespace vqs {

Kursquelle kursquelle(const SettingsStore& settings) {
    return readSetting(settings, settings::kKursquelleArt)
                       .trimmed()
                       .compare(QLatin1String("FIX"), Qt::CaseInsensitive) == 0
               ? Kursquelle::kFix
               : Kursquelle::kSimulation;
}

broker::FixSourceSettings readFixSource(const SettingsStore& settings,
                                        const QString& programFolder) {
    const auto number = [&](const SettingKey& key, int lowest, int highest) {
        const QString text = readSetting(settings, key).trimmed();
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < lowest || value > highest)
            throw VqsError(QStringLiteral("Die Einstellung [Kursquelle] %1 ist ungültig: \"%2\" "
                                          "(erlaubt: %3 bis %4).")
                               .arg(QString::fromUtf8(key.key), text)
                               .arg(lowest)
                               .arg(highest));
        return value;
    };
    broker::FixSourceSettings fix;
    fix.host = readSetting(settings, settings::kKursquelleHost).trimmed();
    fix.port = number(settings::kKursquellePort, 1, 65535);
    fix.senderCompId = readSetting(settings, settings::kKursquelleSenderCompId).trimmed();
    fix.targetCompId = readSetting(settings, settings::kKursquelleTargetCompId).trimmed();
    fix.user = readSetting(settings, settings::kKursquelleBenutzer).trimmed();
    fix.tls = number(settings::kKursquelleTls, 0, 1) == 1;
    fix.caFile = readSetting(settings, settings::kKursquelleTlsStammzertifikat).trimmed();
    fix.heartbeatSeconds = number(settings::kKursquelleHeartbeat, 1, 3600);
    const QString passwordFile =
        readSetting(settings, settings::kKursquellePasswortDatei).trimmed();
    if (!passwordFile.isEmpty()) fix.password = readPasswordFile(passwordFile);
    fix.storeDir = programFolder + QStringLiteral("/FIX");
    return fix;
}

}  // namespace vqs
