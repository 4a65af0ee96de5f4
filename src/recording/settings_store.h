#pragma once

#include <QString>

namespace vqs {

// Where an application's settings live. On Windows: the registry key below HKEY_CURRENT_USER
// where the platform's own GetSetting and SaveSetting keep them, so that the charting program
// finds what we write ("Software\VB and VBA Program Settings\<application>", one subkey per
// section). Elsewhere: "<root>/<application>.ini", one group per section.
enum class SettingsPlatform { kWindows, kOther };
struct SettingsLocation {
    QString path;
    bool registry = false;
};
SettingsLocation settingsLocation(const QString& root, const QString& application,
                                  SettingsPlatform platform);

// The per-user settings: per application, one section per group or registry subkey, values as
// text.
class SettingsStore {
public:
    // root: the folder holding "<application>.ini" (not used on Windows); exeBaseName:
    // application X.
    SettingsStore(QString root, QString exeBaseName);

    // The standard root folder: $XDG_CONFIG_HOME/Tradomir, ~/.config/Tradomir when unset.
    static QString defaultRoot();

    static QString appT() { return QStringLiteral("Tradomir"); }
    const QString& appX() const { return exeBaseName_; }
    const QString& root() const { return root_; }
    SettingsLocation location(const QString& application) const;

    // The stored text, or defaultValue when the value is missing.
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Stores the text; creates file and section as needed. Returns false when it could not be
    // written (callers that ignore errors step by step simply go on).
    bool SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value);

private:
    QString root_;
    QString exeBaseName_;
};

// The keys of the settings that are not window placement, with their defaults.
struct SettingKey {
    // The application the key lies under: "Tradomir" (appT) or the program's own, named after
    // its executable (appX).
    enum App { kTradomir, kProgram } app;
    const char* section;
    const char* key;  // UTF-8
    const char* defaultValue;
};

namespace settings {
inline constexpr SettingKey kVersionsHinweis{SettingKey::kTradomir, "VQSStart", "VersionsHinweis",
                                             "0"};
inline constexpr SettingKey kVqsPfad{SettingKey::kTradomir, "Programm", "VQSPfad", ""};
inline constexpr SettingKey kDatenpfad{SettingKey::kProgram, "Optionen", "Datenpfad", ""};
inline constexpr SettingKey kAutoDatenpflege{SettingKey::kProgram, "Optionen", "AutoDatenpflege",
                                             "0"};
inline constexpr SettingKey kAutoWiederverbinden{SettingKey::kProgram, "Optionen",
                                                 "AutoWiederverbinden", "1"};
inline constexpr SettingKey kStilleSekunden{SettingKey::kProgram, "Optionen", "StilleSekunden",
                                            "120"};
inline constexpr SettingKey kUmsatzFilterBezahlt{SettingKey::kProgram, "UmsatzFilter",
                                                 "BravoltBezahlt", "0"};
inline constexpr SettingKey kUmsatzFilterAndere{SettingKey::kProgram, "UmsatzFilter",
                                                "BravoltAndere", "0"};
// "Taskbar" is read with "" first (never asked) and then with "1".
inline constexpr SettingKey kTaskbar{SettingKey::kProgram, "Hauptfenster", "Taskbar", ""};
inline constexpr SettingKey kAnzeigen{SettingKey::kProgram, "Hauptfenster", "Anzeigen", "1"};
inline constexpr SettingKey kOrdnerIndex{SettingKey::kProgram, "Titelverwaltung", "OrdnerIndex",
                                         ""};
inline constexpr SettingKey kBravoltUhrzeit{SettingKey::kProgram, "Datenpflege", "BravoltUhrzeit",
                                            "0"};

// The quote source: "Simulation" (the built-in simulated broker) or "FIX" (a FIX 4.4 server).
inline constexpr SettingKey kKursquelleArt{SettingKey::kProgram, "Kursquelle", "Art", "Simulation"};
inline constexpr SettingKey kKursquelleHost{SettingKey::kProgram, "Kursquelle", "Host",
                                            "127.0.0.1"};
inline constexpr SettingKey kKursquellePort{SettingKey::kProgram, "Kursquelle", "Port", ""};
inline constexpr SettingKey kKursquelleSenderCompId{SettingKey::kProgram, "Kursquelle",
                                                    "SenderCompID", "VQS"};
inline constexpr SettingKey kKursquelleTargetCompId{SettingKey::kProgram, "Kursquelle",
                                                    "TargetCompID", "VQSFEED"};
inline constexpr SettingKey kKursquelleBenutzer{SettingKey::kProgram, "Kursquelle", "Benutzer", ""};
inline constexpr SettingKey kKursquelleTls{SettingKey::kProgram, "Kursquelle", "TLS", "0"};
// With TLS: a file of the authorities (PEM) the server's certificate must come from, for a
// server with a certificate of its own making; empty: the system's authorities.
inline constexpr SettingKey kKursquelleTlsStammzertifikat{SettingKey::kProgram, "Kursquelle",
                                                          "TLSStammzertifikat", ""};
inline constexpr SettingKey kKursquelleHeartbeat{SettingKey::kProgram, "Kursquelle", "Heartbeat",
                                                 "30"};
// A file that holds the password where no keyring answers; readable by its owner only.
inline constexpr SettingKey kKursquellePasswortDatei{SettingKey::kProgram, "Kursquelle",
                                                     "PasswortDatei", ""};

// The main window's section.
inline constexpr char kHauptfensterPos[] = "VQS-Bravolt-Programmfenster";
}  // namespace settings

QString readSetting(const SettingsStore& store, const SettingKey& key);
QString readSetting(const SettingsStore& store, const SettingKey& key, const QString& defaultValue);
bool writeSetting(SettingsStore& store, const SettingKey& key, const QString& value);

// The switches read once at start.
struct RecorderOptions {
    bool UmsatzFilterBezahlt = false;
    bool UmsatzFilterAndere = false;
    bool AutoDatenpflege = false;
    // A lost connection is logged in again by itself, and the gap is filled.
    bool AutoWiederverbinden = true;
    // Seconds without any quote of a recording title after which the feed counts as lost
    // (0: never).
    int StilleSekunden = 120;
};

}  // namespace vqs
