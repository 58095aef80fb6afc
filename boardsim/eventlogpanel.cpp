#include "eventlogpanel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <deque>

namespace boardsim {

namespace {

constexpr Op filterOps[] = {Op::Open,   Op::Close, Op::Read,     Op::Write,     Op::Leds,
                            Op::Anchor, Op::Abort, Op::BulkRead, Op::BulkWrite, Op::Ioctl};

QString spaced(const std::string& hex)
{
    QString s;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (i > 0)
            s += ' ';
        s += QString::fromLatin1(hex.data() + i, 2);
    }
    return s;
}

QString hex(int64_t value, int digits)
{
    return QString("%1").arg(qulonglong(value), digits, 16, QChar('0')).toUpper();
}

} // namespace

EventLogPanel::EventLogPanel(const BoardModel& board, QWidget* parent)
    : QGroupBox("Gebeurtenissen", parent), board_(board)
{
    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    for (Op op : filterOps) {
        auto* box = new QCheckBox(opName(op));
        box->setChecked(true);
        box->setFocusPolicy(Qt::NoFocus);
        connect(box, &QCheckBox::toggled, this, &EventLogPanel::rebuild);
        filters_[op] = box;
        row->addWidget(box);
    }
    row->addStretch();
    column->addLayout(row);

    view_ = new QPlainTextEdit;
    view_->setReadOnly(true);
    view_->setFocusPolicy(Qt::NoFocus);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMaximumBlockCount(maxLines);
    view_->setMinimumHeight(160);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    column->addWidget(view_);
    refresh();
}

QString EventLogPanel::describe(const Event& e)
{
    QString details;
    switch (e.op) {
    case Op::Open:
        break;
    case Op::Close:
        if (e.dropped)
            details = "verbinding verbroken zonder sluiten";
        break;
    case Op::Read:
        details = e.bytes.empty() ? QString("(leeg blok)") : spaced(e.bytes);
        break;
    case Op::Write:
        details = "\"" + QString::fromLatin1(e.text.data(), qsizetype(e.text.size())) + "\"";
        break;
    case Op::Leds:
        if (e.pattern >= 0)
            details = QString("patroon %1").arg(e.pattern, 8, 2, QChar('0'));
        break;
    case Op::Anchor:
        details = QString("adres %1, %2 byte(s)").arg(hex(e.addr, 4)).arg(e.length);
        if (e.value >= 0)
            details += ", waarde " + hex(e.value, 2);
        break;
    case Op::Abort:
    case Op::BulkRead:
    case Op::BulkWrite:
        details = QString("pipe %1").arg(e.pipe);
        if (e.hasBytes && !e.bytes.empty())
            details += ": " + spaced(e.bytes);
        break;
    case Op::Ioctl:
        details = "onbekende code " + hex(e.code, 8);
        break;
    }
    return QString("%1 %2 s  verb. %3  %4 %5 %6")
        .arg(e.seq, 6)
        .arg(double(e.tUs) / 1e6, 10, 'f', 3)
        .arg(e.handle, 3)
        .arg(QString(opName(e.op)), -9)
        .arg(e.ok ? "ok     " : "mislukt")
        .arg(details);
}

bool EventLogPanel::shown(const Event& event) const
{
    auto it = filters_.find(event.op);
    return it == filters_.end() || it->second->isChecked();
}

void EventLogPanel::refresh()
{
    QScrollBar* bar = view_->verticalScrollBar();
    bool atEnd = bar->value() == bar->maximum();
    board_.forEachEventSince(lastShown_, [this](const Event& e) {
        if (shown(e))
            view_->appendPlainText(describe(e));
    });
    lastShown_ = board_.lastSeq();
    // Follow the newest line unless the user scrolled back to read.
    if (atEnd)
        bar->setValue(bar->maximum());
}

void EventLogPanel::rebuild()
{
    // Only the last lines that fit the view are wanted.
    std::deque<const Event*> lines;
    board_.forEachEventSince(0, [&](const Event& e) {
        if (!shown(e))
            return;
        lines.push_back(&e);
        if (lines.size() > size_t(maxLines))
            lines.pop_front();
    });
    view_->clear();
    for (const Event* e : lines)
        view_->appendPlainText(describe(*e));
    lastShown_ = board_.lastSeq();
    view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

} // namespace boardsim
