#include "gui/shell/german_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <array>
#include <cstring>

namespace vqs {
namespace {

constexpr std::array<GermanQtText, 37> kTexts{{
    // The standard buttons of QMessageBox and QDialogButtonBox.
    {"QPlatformTheme", "OK", "OK"},
    {"QPlatformTheme", "Save", "Speichern"},
    {"QPlatformTheme", "Save All", "Alles speichern"},
    {"QPlatformTheme", "Open", "Öffnen"},
    {"QPlatformTheme", "&Yes", "&Ja"},
    {"QPlatformTheme", "Yes to &All", "Ja, &alle"},
    {"QPlatformTheme", "&No", "&Nein"},
    {"QPlatformTheme", "N&o to All", "N&ein, keine"},
    {"QPlatformTheme", "Abort", "Abbrechen"},
    {"QPlatformTheme", "Retry", "Wiederholen"},
    {"QPlatformTheme", "Ignore", "Ignorieren"},
    {"QPlatformTheme", "Close", "Schließen"},
    {"QPlatformTheme", "Cancel", "Abbrechen"},
    {"QPlatformTheme", "Discard", "Verwerfen"},
    {"QPlatformTheme", "Help", "Hilfe"},
    {"QPlatformTheme", "Apply", "Anwenden"},
    {"QPlatformTheme", "Reset", "Zurücksetzen"},
    {"QPlatformTheme", "Restore Defaults", "Voreinstellungen"},
    // The context menu of text fields and of the help's text.
    {"QLineEdit", "&Undo", "&Rückgängig"},
    {"QLineEdit", "&Redo", "Wieder&herstellen"},
    {"QLineEdit", "Cu&t", "&Ausschneiden"},
    {"QLineEdit", "&Copy", "&Kopieren"},
    {"QLineEdit", "&Paste", "Einf&ügen"},
    {"QLineEdit", "Delete", "Löschen"},
    {"QLineEdit", "Select All", "Alles auswählen"},
    {"QWidgetTextControl", "&Undo", "&Rückgängig"},
    {"QWidgetTextControl", "&Redo", "Wieder&herstellen"},
    {"QWidgetTextControl", "Cu&t", "&Ausschneiden"},
    {"QWidgetTextControl", "&Copy", "&Kopieren"},
    {"QWidgetTextControl", "Copy &Link Location", "&Link-Adresse kopieren"},
    {"QWidgetTextControl", "&Paste", "Einf&ügen"},
    {"QWidgetTextControl", "Delete", "Löschen"},
    {"QWidgetTextControl", "Select All", "Alles auswählen"},
    // The time fields' menu, and the key names in menus.
    {"QAbstractSpinBox", "&Select All", "&Alles auswählen"},
    {"QAbstractSpinBox", "&Step up", "&Inkrementieren"},
    {"QAbstractSpinBox", "Step &down", "&Dekrementieren"},
    {"QShortcut", "Ctrl", "Strg"},
}};

// Our German for the texts above; every other text is left to the next translator or Qt.
class OwnGermanTranslator final : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (!context || !sourceText) return {};
        for (const GermanQtText& t : kTexts) {
            if (std::strcmp(t.context, context) == 0 && std::strcmp(t.source, sourceText) == 0)
                return QString::fromUtf8(t.german);
        }
        return {};
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

std::span<const GermanQtText> ownGermanQtTexts() { return kTexts; }

QStringList qtTranslationFolders() {
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
            QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
}

GermanQtTexts::GermanQtTexts(const QStringList& folders)
    : own_(std::make_unique<OwnGermanTranslator>()) {
    // The translator installed last is asked first: Qt's own file, where there is one, speaks
    // for every text; ours answers for the texts it lacks.
    QCoreApplication::installTranslator(own_.get());
    auto qt = std::make_unique<QTranslator>();
    for (const QString& folder : folders) {
        if (folder.isEmpty()) continue;
        if (qt->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                     QStringLiteral("_"), folder)) {
            loadedFile_ = qt->filePath();
            QCoreApplication::installTranslator(qt.get());
            qt_ = std::move(qt);
            break;
        }
    }
}

GermanQtTexts::~GermanQtTexts() {
    if (qt_) QCoreApplication::removeTranslator(qt_.get());
    QCoreApplication::removeTranslator(own_.get());
}

}  // namespace vqs
