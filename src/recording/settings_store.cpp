#include "recording/settings_store.h"

#include "recording/instance_lock.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace vqs {

SettingsStore::SettingsStore(QString root, QString exeBaseName)
    : root_(std::move(root)), exeBaseName_(std::move(exeBaseName)) {}

QString SettingsStore::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tradomir");
}

SettingsLocation settingsLocation(const QString& root, const QString& application,
                                  SettingsPlatform platform) {
    if (platform == SettingsPlatform::kWindows)
        return {QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") +
                    application,
                true};
    return {root + QLatin1Char('/') + application + QStringLiteral(".ini"), false};
}

SettingsLocation SettingsStore::location(const QString& application) const {
#ifdef _WIN32
    return settingsLocation(root_, application, SettingsPlatform::Windows);
#else
    return settingsLocation(root_, application, SettingsPlatform::kOther);
#endif
}

namespace {

QString groupKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

}  // namespace

QString SettingsStore::GetSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& defaultValue) const {
    const SettingsLocation where = location(application);
    QSettings ini(where.path, where.registry ? QSettings::NativeFormat : QSettings::IniFormat);
    QVariant v = ini.value(groupKey(section, key));
    if (!v.isValid()) return defaultValue;
    // A hand-written value with commas reads as a list; it was meant as one text.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool SettingsStore::SaveSetting(const QString& application, const QString& section,
                                const QString& key, const QString& value) {
    const SettingsLocation where = location(application);
    if (!where.registry) {
        QDir().mkpath(root_);
        // A killed writer's lock would hold this write for half a minute.
        removeDeadLockFile(where.path + QStringLiteral(".lock"));
    }
    QSettings ini(where.path, where.registry ? QSettings::NativeFormat : QSettings::IniFormat);
    ini.setValue(groupKey(section, key), value);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

namespace {

QString applicationOf(const SettingsStore& store, const SettingKey& key) {
    return key.app == SettingKey::kTradomir ? SettingsStore::appT() : store.appX();
}

}  // namespace

QString readSetting(const SettingsStore& store, const SettingKey& key) {
    return readSetting(store, key, QString::fromUtf8(key.defaultValue));
}

QString readSetting(const SettingsStore& store, const SettingKey& key,
                    const QString& defaultValue) {
    return store.GetSetting(applicationOf(store, key), QString::fromUtf8(key.section),
                            QString::fromUtf8(key.key), defaultValue);
}

bool writeSetting(SettingsStore& store, const SettingKey& key, const QString& value) {
    return store.SaveSetting(applicationOf(store, key), QString::fromUtf8(key.section),
                             QString::fromUtf8(key.key), value);
}

}  // namespace vqs
