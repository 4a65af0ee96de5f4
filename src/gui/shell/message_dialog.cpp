#include "gui/shell/message_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include <cmath>

namespace vqs {
namespace {

constexpr int kLabelLeft = 56;
constexpr int kLabelTop = 16;
constexpr int kButtonWidth = 89;
constexpr int kButtonHeight = 24;
constexpr int kMaxLabelWidth = 500;

// Result codes by button index (rows) and button set (columns 0..5, then 6 to 15).
int resultFor(int index, int set) {
    static constexpr int kTable[3][7] = {
        {1, 3, 6, 6, 4, 1},
        {2, 5, 7, 7, 2, 2},
        {2, 5, 2, 2, 2, 2},
    };
    const int column = set <= 1 ? 0 : (set >= 6 ? 5 : set - 1);
    return kTable[index][column];
}

QString normalisedLines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// An overridden wait cursor must not stay over the question.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileAsking() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

frmMessageDialog::frmMessageDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMessageDialog"));
    setWindowTitle(QStringLiteral("Tradomir VQS"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    image_->setGeometry(12, kLabelTop, 32, 32);

    meldung_ = new QLabel(this);
    meldung_->setObjectName(QStringLiteral("Meldung"));
    meldung_->setWordWrap(true);
    meldung_->setTextFormat(Qt::PlainText);
    meldung_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    meldung_->move(kLabelLeft, kLabelTop);

    const char* captions[] = {"OK", "Abbrechen", "OK"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(captions[i]), this);
        b->setObjectName(QStringLiteral("btn(%1)").arg(i));
        b->setFixedSize(kButtonWidth, kButtonHeight);
        b->setAutoDefault(false);
        b->hide();
        connect(b, &QPushButton::clicked, this, [this, i] { clicked(i); });
        buttons_[static_cast<size_t>(i)] = b;
    }
    buttons_[0]->setDefault(true);
}

void frmMessageDialog::prepare(const QString& text, int style) {
    setButtonStyle(style & 15);
    const int set = ButtonStyle();
    int n = 1;
    switch (set) {
        case 0:
            cancelIndex_ = 0;
            break;
        case 1:
            n = 2;
            cancelIndex_ = 1;
            break;
        case 2:
            n = 2;
            buttons_[0]->setText(QStringLiteral("Abbrechen"));
            buttons_[1]->setText(QStringLiteral("Ignorieren"));
            cancelIndex_ = 0;
            break;
        case 3:
            n = 3;
            buttons_[0]->setText(QStringLiteral("Ja"));
            buttons_[1]->setText(QStringLiteral("Nein"));
            buttons_[2]->setText(QStringLiteral("Abbrechen"));
            cancelIndex_ = 2;
            break;
        case 4:
            n = 2;
            buttons_[0]->setText(QStringLiteral("Ja"));
            buttons_[1]->setText(QStringLiteral("Nein"));
            cancelIndex_ = 1;
            break;
        case 5:
            n = 2;
            buttons_[0]->setText(QStringLiteral("Wiederholen"));
            cancelIndex_ = 1;
            break;
        default:
            cancelIndex_ = -1;
            break;
    }

    // Width from the widest line, height from the wrapped label.
    const QString lines = normalisedLines(text);
    const float bw = static_cast<float>(buttons_[0]->width());
    const float buttonRowWidth = static_cast<float>(n) * (bw + 20) + 70;
    const QFontMetrics fm(meldung_->font());
    int tw = 0;
    for (const QString& line : lines.split(QLatin1Char('\n')))
        tw = std::max(tw, fm.horizontalAdvance(line));
    int labelWidth = tw;
    float textWidth = static_cast<float>(tw) + 90;
    if (tw > kMaxLabelWidth) {
        labelWidth = kMaxLabelWidth;
        textWidth = 590;
    }
    const int width = static_cast<int>(std::max(buttonRowWidth, textWidth)) + 10;
    meldung_->setText(lines);
    // Lines that fit stay as they are; only a wider text wraps at the label's width.
    meldung_->setWordWrap(tw > kMaxLabelWidth);
    meldung_->setFixedWidth(std::max(labelWidth, 1));
    const int labelHeight =
        tw > kMaxLabelWidth ? meldung_->heightForWidth(labelWidth) : meldung_->sizeHint().height();
    meldung_->setFixedHeight(labelHeight > 0 ? labelHeight : fm.height());
    const int bh = buttons_[0]->height();
    const int height = 10 + kLabelTop + meldung_->height() + 20 + bh + 10;
    setFixedSize(width, height);

    const double centred =
        (width - n * static_cast<double>(bw) - (n - 1) * 20.0) / 2.0;  // round half to even
    const int first = static_cast<int>(std::nearbyint(centred)) + 10;
    for (int i = 0; i < n; ++i) {
        QPushButton* b = buttons_[static_cast<size_t>(i)];
        b->move((b->width() + 20) * i + first, kLabelTop + meldung_->height() + 25);
        b->show();
    }
    int defaultIndex = 0;
    if ((style & 0x100) && n > 1)
        defaultIndex = 1;
    else if (!(style & 0x100) && (style & 0x200) && n > 2)
        defaultIndex = 2;
    buttons_[static_cast<size_t>(defaultIndex)]->setDefault(true);
}

void frmMessageDialog::clicked(int index) { done(resultFor(index, ButtonStyle())); }

void frmMessageDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // Esc presses the button with the cancel role; without one it does nothing.
        if (cancelIndex_ >= 0 && buttons_[static_cast<size_t>(cancelIndex_)]->isVisible())
            buttons_[static_cast<size_t>(cancelIndex_)]->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmMessageDialog::closeEvent(QCloseEvent* event) {
    // Closed by the window frame: no answer.
    event->accept();
    done(msg::kResultNone);
}

void frmMessageDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) focusDefault();
    QDialog::changeEvent(event);
}

void frmMessageDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    focusDefault();
}

void frmMessageDialog::focusDefault() {
    for (QPushButton* b : buttons_) {
        if (b->isVisible() && b->isDefault()) b->setFocus();
    }
}

namespace {

int systemMessageBox(const QString& text, int style) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tradomir"), normalisedLines(text));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);  // in front of other windows
    using B = QMessageBox::StandardButton;
    std::vector<B> buttons;
    switch (style & 15) {
        case 1:
            buttons = {B::Ok, B::Cancel};
            break;
        case 2:
            buttons = {B::Abort, B::Retry, B::Ignore};
            break;
        case 3:
            buttons = {B::Yes, B::No, B::Cancel};
            break;
        case 4:
            buttons = {B::Yes, B::No};
            break;
        case 5:
            buttons = {B::Retry, B::Cancel};
            break;
        default:
            buttons = {B::Ok};
            break;
    }
    const QMap<B, QString> captions{{B::Ok, "OK"},
                                    {B::Cancel, "Abbrechen"},
                                    {B::Abort, "Abbrechen"},
                                    {B::Retry, "Wiederholen"},
                                    {B::Ignore, "Ignorieren"},
                                    {B::Yes, "Ja"},
                                    {B::No, "Nein"}};
    for (B b : buttons) box.addButton(b)->setText(captions.value(b));
    size_t defaultIndex = (style & 0x100) ? 1 : ((style & 0x200) ? 2 : 0);
    if (defaultIndex < buttons.size()) box.setDefaultButton(buttons[defaultIndex]);
    box.exec();
    const QMap<int, int> results{{B::Ok, msg::kResultOk},         {B::Cancel, msg::kResultCancel},
                                 {B::Abort, msg::kResultAbort},   {B::Retry, msg::kResultRetry},
                                 {B::Ignore, msg::kResultIgnore}, {B::Yes, msg::kResultJa},
                                 {B::No, msg::kResultNein}};
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? results.value(box.standardButton(clicked), msg::kResultNone)
                   : msg::kResultNone;
}

}  // namespace

int ShowMessage(const QString& text, int style, const QWidget* mainWindow) {
    ArrowWhileAsking arrow;
    if (mainWindow && mainWindow->isMinimized()) return systemMessageBox(text, style);
    frmMessageDialog dialog;
    dialog.prepare(text, style);
    return dialog.exec();
}

int QtMessagePresenter::ShowMessage(const QString& text, int style) {
    return vqs::ShowMessage(text, style, mainWindow_.data());
}

void QtEventLoop::yield() { QCoreApplication::processEvents(); }

void QtEventLoop::setBusy(bool busy) {
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace vqs
