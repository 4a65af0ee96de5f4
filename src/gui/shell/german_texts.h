#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <span>

class QTranslator;

namespace vqs {

// A text of Qt's own in German: where Qt asks for `source` in `context`.
struct GermanQtText {
    const char* context;
    const char* source;
    const char* german;
};
// The texts of Qt that the programs show (standard buttons, the edit menus of text fields and
// spin boxes, key names), in the words of Qt's German translation.
std::span<const GermanQtText> ownGermanQtTexts();

// Where Qt's translations are looked for: Qt's own folder, then "translations" beside the
// program (an installation that ships them).
QStringList qtTranslationFolders();

// Qt's texts in German while it lives: Qt's translation "qtbase_de" from the first of `folders`
// that holds it, and beneath it our own German for the texts above, so that a machine without
// Qt's translations still shows "Ja" and "Nein". Made once in each program's main.
class GermanQtTexts {
public:
    explicit GermanQtTexts(const QStringList& folders = qtTranslationFolders());
    ~GermanQtTexts();
    GermanQtTexts(const GermanQtTexts&) = delete;
    GermanQtTexts& operator=(const GermanQtTexts&) = delete;

    // The translation file that was loaded; empty when none was found.
    const QString& loadedFile() const { return loadedFile_; }

private:
    std::unique_ptr<QTranslator> own_;
    std::unique_ptr<QTranslator> qt_;
    QString loadedFile_;
};

}  // namespace vqs
