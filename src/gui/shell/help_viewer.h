#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace vqs {

// Help context numbers: one help topic per window.
namespace help {
inline constexpr int kInhalt = 1;
inline constexpr int kEinstellungen = 520;
inline constexpr int kHauptfenster = 1000;
inline constexpr int kTitelauswahl = 1100;
inline constexpr int kTitelverwaltung = 1200;
inline constexpr int kDateiauswahl = 1300;
inline constexpr int kDatenpflegeOptionen = 1400;
inline constexpr int kDatenpflege = 1450;
inline constexpr int kDateninspektor = 1500;
}  // namespace help

// The resource URL of a context number's topic, e.g. "qrc:/help/1000.html"; a number without a
// topic gives the contents page.
QString helpTopicUrl(int contextId);

// The help window: the topics in a text browser with contents, back, forward and close.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // A top-level window owned by `owner` (may be null), not yet shown.
    explicit HelpViewer(QWidget* owner = nullptr);

    void showTopic(int contextId);
    QUrl currentTopic() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* browser_;
    QPushButton* backButton_;
    QPushButton* forwardButton_;
};

// Opens the help at a topic, as a window owned by the window of `owner`, so that it stays usable
// while that window is a modal dialog. Each owner window has one viewer: a second call raises it
// and switches its topic. Returns the viewer.
HelpViewer* showHelp(QWidget* owner, int contextId);

// The viewer that showHelp made for the window of `owner`, or null.
HelpViewer* findHelpViewer(QWidget* owner);

// F1 in `window`, wherever the focus is (unless the focused control uses the key itself), opens
// the help at the window's topic.
void installHelpKey(QWidget* window, int contextId);

}  // namespace vqs
