#include "recording/titel_verwaltung.h"

#include "common/error.h"
#include "datafiles/datei_kopf.h"
#include "recording/recorder.h"
#include "recording/settings_store.h"

#include <QDir>
#include <QFileInfo>

namespace vqs {
namespace {

QString keineDatendatei(const QString& path) {
    return QStringLiteral("%1 ist keine Datendatei; sie bleibt, wie sie ist.")
        .arg(QDir::toNativeSeparators(path));
}

}  // namespace

QStringList ordnerEintraege(const TitelRegistry& titles) {
    QStringList eintraege{QString::fromUtf8(kAlleTitel)};
    for (const auto& e : titles.folders()) eintraege << e.value;
    return eintraege;
}

int gemerkterOrdner(const QStringList& eintraege, const SettingsStore& settings) {
    const QString gemerkt = readSetting(settings, settings::kOrdnerIndex);
    if (gemerkt.isEmpty()) return 0;
    for (int i = 1; i < eintraege.size(); ++i)
        if (eintraege[i].compare(gemerkt, Qt::CaseInsensitive) == 0) return i;
    return 0;
}

void ordnerMerken(SettingsStore& settings, const QString& eintrag) {
    writeSetting(settings, settings::kOrdnerIndex, eintrag);
}

std::vector<TitelDef> titelImOrdner(const TitelRegistry& titles, int position,
                                    const QString& ordner) {
    std::vector<TitelDef> listed;
    for (TitelDef def : titles.definitions())
        if (position == 0 || def.Ordner.compare(ordner, Qt::CaseInsensitive) == 0)
            listed.push_back(std::move(def));
    return listed;
}

int TitelLoeschen(Recorder& recorder, const std::vector<QString>& tags) {
    int deleted = 0;
    for (const QString& tag : tags) {
        runStep([&] {
            if (recorder.titles().remove(tag)) ++deleted;
        });
    }
    if (deleted) recorder.titles().announceChange();
    return deleted;
}

InspektorDatei inspektorDatei(Recorder& recorder, const TitelDef& def, Kursart kind) {
    InspektorDatei datei;
    datei.path = recorder.store().filePath(def, kind);
    const QFileInfo info(datei.path);
    datei.ohneDaten = !info.exists() || (info.isFile() && info.size() == 0);
    if (!datei.ohneDaten && !(info.isFile() && info.size() >= kHeaderSize))
        throw VqsError(keineDatendatei(datei.path));
    return datei;
}

void datendateiAnlegen(Recorder& recorder, const TitelDef& def, Kursart kind) {
    const Result<void> created = recorder.store().create(def, kind, buildHeader(def, kind), {});
    if (created.code() == EEXIST)
        throw VqsError(keineDatendatei(recorder.store().filePath(def, kind)));
    if (!created) throw VqsError(created.error().text);
}

}  // namespace vqs
