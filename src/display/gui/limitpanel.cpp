#include "display/gui/limitpanel.h"

#include "app/metersession.h"
#include "base/fonts.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace sorrel {

namespace {

QColor paleYellow(const QWidget *w)
{
    return w->palette().color(QPalette::ToolTipBase);
}

void setBackground(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

} // namespace

LampShape::LampShape(QWidget *parent) : QWidget(parent)
{
    fill_ = paleYellow(this);
}

void LampShape::setFill(const QColor &c)
{
    if (c == fill_)
        return;
    fill_ = c;
    update();
}

void LampShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill_);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

QPixmap LimitPanel::receiveLampPicture(bool lit)
{
    QPixmap pm(25, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor screen = lit ? QColor(120, 230, 120) : QColor(40, 48, 56);
    const QColor body(170, 170, 170);
    // Computer: monitor on a stand.
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(body);
    p.drawRect(QRectF(0.5, 3.5, 14, 11));
    p.setBrush(screen);
    p.drawRect(QRectF(2.5, 5.5, 10, 7));
    p.setBrush(body);
    p.drawRect(QRectF(5.5, 15.5, 4, 2));
    p.drawRect(QRectF(2.5, 18.5, 10, 2));
    // Meter: a hand-held body with its display and a dial.
    p.setBrush(QColor(230, 200, 60));
    p.drawRoundedRect(QRectF(16.5, 6.5, 8, 16), 1.5, 1.5);
    p.setBrush(screen);
    p.drawRect(QRectF(18.5, 8.5, 4, 4));
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QRectF(18.5, 15.5, 4, 4));
    return pm;
}

LimitPanel::LimitPanel(MeterSession &session, QWidget *parent) : QFrame(parent), session_(session)
{
    setObjectName(QStringLiteral("Panel4"));
    setGeometry(400, 32, 319, 121);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMidLineWidth(1);
    setAutoFillBackground(true);
    setBackground(this, QPalette::Window, Qt::white);

    auto label = [this](const char *name, const char *caption, int x, int y) {
        auto *l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(arialPixels(11, Bold::Yes));
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    auto edit = [this](const char *name, const QRect &r) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(r);
        return e;
    };
    T1_HI = label("T1_HI", "Set High Limit:", 16, 16);
    T1_Value = label("T1_Value", "Measure Value:", 16, 52);
    T1_LO = label("T1_LO", "Set Low Limit:", 16, 84);
    T1HI = edit("T1HI", {104, 11, 57, 22});
    T1LO = edit("T1LO", {104, 84, 57, 22});
    T1VALUE = edit("T1VALUE", {104, 43, 81, 32});
    for (QLineEdit *e : {T1HI, T1LO}) {
        e->setToolTip(QStringLiteral("Please enter a number here."));
        e->installEventFilter(this);
    }
    T1VALUE->setFont(arialPixels(21, Bold::Yes));
    T1VALUE->setReadOnly(true); // shows each counted reading; nothing reads it back
    setBackground(T1VALUE, QPalette::Base, paleYellow(this));

    Shape1 = new LampShape(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(200, 24, 81, 73);

    judge = new QLabel(this);
    judge->setObjectName(QStringLiteral("judge"));
    judge->setFont(arialPixels(24, Bold::Yes));
    judge->setAutoFillBackground(true);
    setBackground(judge, QPalette::Window, paleYellow(this));
    judge->move(213, 46);
    judge->adjustSize();

    conok = new QLabel(this);
    conok->setObjectName(QStringLiteral("conok"));
    conok->setPixmap(receiveLampPicture(true));
    conok->setGeometry(286, 5, 25, 24);
    conokn = new QLabel(this);
    conokn->setObjectName(QStringLiteral("conokn"));
    conokn->setPixmap(receiveLampPicture(false));
    conokn->setGeometry(286, 5, 25, 24);

    connect(T1HI, &QLineEdit::textChanged, this, [this](const QString &t) { edited(LimitBox::High, t); });
    connect(T1LO, &QLineEdit::textChanged, this, [this](const QString &t) { edited(LimitBox::Low, t); });
    connect(&session_, &MeterSession::panelChanged, this, &LimitPanel::syncFromSession);

    syncLimitTexts();
    syncFromSession();
}

void LimitPanel::showBoxText(LimitBox b)
{
    const QString &t = session_.judge().text(b);
    if (box(b)->text() == t)
        return;
    syncing_ = true;
    box(b)->setText(t);
    syncing_ = false;
}

void LimitPanel::syncLimitTexts()
{
    showBoxText(LimitBox::High);
    showBoxText(LimitBox::Low);
}

void LimitPanel::edited(LimitBox b, const QString &text)
{
    if (syncing_)
        return;
    session_.judge().change(b, text, session_.notifier());
    showBoxText(b); // a refused text was put back
}

bool LimitPanel::eventFilter(QObject *watched, QEvent *event)
{
    const LimitBox b = watched == T1HI ? LimitBox::High : LimitBox::Low;
    if (event->type() == QEvent::KeyPress) {
        const QString t = static_cast<QKeyEvent *>(event)->text();
        // Only characters are filtered; editing and navigation keys pass, Delete too,
        // which carries U+007F on X11 and Wayland.
        const char16_t c = t.size() == 1 ? t[0].unicode() : 0;
        if ((c >= 32 || c == 8) && c != 0x7f && !session_.judge().acceptsKey(b, t[0]))
            return true;
    } else if (event->type() == QEvent::FocusOut) {
        if (session_.judge().leave(b))
            showBoxText(b);
    }
    return QFrame::eventFilter(watched, event);
}

void LimitPanel::paintVerdict(Verdict v)
{
    if (v == painted_)
        return;
    painted_ = v;
    const QColor c = v == Verdict::Pass ? kPass : v == Verdict::Fail ? kFail : paleYellow(this);
    setBackground(T1VALUE, QPalette::Base, c);
    setBackground(judge, QPalette::Window, c);
    Shape1->setFill(c);
    judge->setText(QString::fromLatin1(verdictText(v)));
    judge->adjustSize();
}

void LimitPanel::syncFromSession()
{
    const LimitJudge &j = session_.judge();
    if (T1VALUE->text() != j.measuredValue())
        T1VALUE->setText(j.measuredValue());
    paintVerdict(j.verdict());
    const LcdPanelState &panel = session_.panel();
    conok->setVisible(panel.isShown(Ind::conok));
    conokn->setVisible(panel.isShown(Ind::conokn));
}

} // namespace sorrel
