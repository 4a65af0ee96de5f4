#include "recording/quote_source.h"

#include "common/error.h"
#include "common/password_file.h"
#include "common/process.h"

namespace vqs {

Kursquelle kursquelle(const SettingsStore& settings) {
    return readSetting(settings, settings::kKursquelleArt)
                       .trimmed()
                       .compare(QLatin1String("FIX"), Qt::CaseInsensitive) == 0
               ? Kursquelle::kFix
               : Kursquelle::kSimulation;
}

broker::FixSourceSettings readFixSource(const SettingsStore& settings, const QString& programFolder,
                                        Keyring& keyring) {
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
    const Keyring::Answer stored = fix.user.isEmpty()
                                       ? Keyring::Answer{}
                                       : keyring.read(kursquelleKeyringKey(fix.user, fix.host));
    if (stored.kind == Keyring::Answer::Kind::kDone)
        fix.password = stored.text;
    else if (!passwordFile.isEmpty()) {
        Result<QString> read = readPassword(passwordFile);
        if (!read) throw VqsError(read.error().text);
        fix.password = std::move(read).value();
    } else if (stored.kind == Keyring::Answer::Kind::kUnreachable)
        throw VqsError(QStringLiteral("Das Passwort der FIX-Kursquelle ist nicht zu lesen, der "
                                      "Schlüsselbund antwortet nicht (%1). Ohne Schlüsselbund "
                                      "nennt [Kursquelle] PasswortDatei eine Datei mit dem "
                                      "Passwort.")
                           .arg(stored.text));
    if (!fix.password.isEmpty()) keepOutOfCoreDumps();
    fix.storeDir = programFolder + QStringLiteral("/FIX");
    return fix;
}

}  // namespace vqs
