#include "gui/shell/help_viewer.h"

#include "gui/shell/window_placement.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

// The resources live in a static library: without an explicit reference the linker drops them.
// Q_INIT_RESOURCE has to be used outside any namespace.
static void initHelpResources() { Q_INIT_RESOURCE(help); }

namespace vqs {
namespace {

void ensureHelpResources() {
    static const bool done = [] {
        initHelpResources();
        return true;
    }();
    (void)done;
}

constexpr std::array kTopics{
    help::kInhalt,          help::kEinstellungen, help::kHauptfenster,        help::kTitelauswahl,
    help::kTitelverwaltung, help::kDateiauswahl,  help::kDatenpflegeOptionen, help::kDatenpflege,
    help::kDateninspektor};

// Watches the key presses that reach the window unused by its controls.
class HelpKey final : public QObject {
public:
    HelpKey(QWidget* window, int contextId)
        : QObject(window), window_(window), contextId_(contextId) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
            return false;
        showHelp(window_, contextId_);
        event->accept();
        return true;
    }

private:
    QWidget* window_;
    int contextId_;
};

// The one viewer of callers without an owner window.
QPointer<HelpViewer>& ownerlessViewer() {
    static QPointer<HelpViewer> viewer;
    return viewer;
}

QWidget* ownerWindow(QWidget* owner) { return owner ? owner->window() : nullptr; }

}  // namespace

QString helpTopicUrl(int contextId) {
    ensureHelpResources();
    const bool known = std::find(kTopics.begin(), kTopics.end(), contextId) != kTopics.end();
    return QStringLiteral("qrc:/help/%1.html").arg(known ? contextId : help::kInhalt);
}

HelpViewer::HelpViewer(QWidget* owner) : QWidget(owner, Qt::Window) {
    ensureHelpResources();
    setObjectName(QStringLiteral("Hilfe"));
    setWindowTitle(QStringLiteral("Tradomir VQS – Hilfe"));

    auto* contentsButton = new QPushButton(QStringLiteral("Inhalt"), this);
    contentsButton->setObjectName(QStringLiteral("btnInhalt"));
    backButton_ = new QPushButton(QStringLiteral("Zurück"), this);
    backButton_->setObjectName(QStringLiteral("btnZurueck"));
    backButton_->setEnabled(false);
    forwardButton_ = new QPushButton(QStringLiteral("Vor"), this);
    forwardButton_->setObjectName(QStringLiteral("btnVor"));
    forwardButton_->setEnabled(false);
    auto* closeButton = new QPushButton(QStringLiteral("Schließen"), this);
    closeButton->setObjectName(QStringLiteral("btnSchliessen"));

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("Hilfetext"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contentsButton);
    buttons->addWidget(backButton_);
    buttons->addWidget(forwardButton_);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    connect(contentsButton, &QPushButton::clicked, this, [this] { showTopic(help::kInhalt); });
    connect(backButton_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forwardButton_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(browser_, &QTextBrowser::backwardAvailable, backButton_, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardButton_, &QWidget::setEnabled);

    resize(640, 520);
}

void HelpViewer::showTopic(int contextId) { browser_->setSource(QUrl(helpTopicUrl(contextId))); }

QUrl HelpViewer::currentTopic() const { return browser_->source(); }

void HelpViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

HelpViewer* findHelpViewer(QWidget* owner) {
    QWidget* window = ownerWindow(owner);
    if (!window) return ownerlessViewer().data();
    if (auto* self = qobject_cast<HelpViewer*>(window)) return self;
    return window->findChild<HelpViewer*>(QString(), Qt::FindDirectChildrenOnly);
}

HelpViewer* showHelp(QWidget* owner, int contextId) {
    HelpViewer* viewer = findHelpViewer(owner);
    if (!viewer) {
        QWidget* window = ownerWindow(owner);
        // A child window of the owner: a modal owner does not block its own windows.
        viewer = new HelpViewer(window);
        if (!window) ownerlessViewer() = viewer;
    }
    viewer->showTopic(contextId);
    if (viewer->isMinimized()) viewer->showNormal();
    if (!viewer->isVisible()) {
        const QWidget* window = ownerWindow(owner);
        if (window)
            fitOnScreen(viewer, window->frameGeometry().center());
        else
            fitOnScreen(viewer);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

void installHelpKey(QWidget* window, int contextId) { new HelpKey(window, contextId); }

}  // namespace vqs
