#include "app/dataaware/DBNavigator.h"

#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/base/HandlerGuard.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

namespace Catraca {

namespace {

constexpr int kButtonWidth = 38;
constexpr int kGlyphSize = 16;

const char *const ButtonNames[TDBNavigator::kButtonCount] = {"nbFirst", "nbPrior", "nbNext",
                                                            "nbLast",  "nbInsert", "nbEdit"};

QPainterPath TrianglePointing(qreal left, qreal right, bool pointsRight)
{
    const qreal top = 4.0, bottom = 12.0, middle = 8.0;
    QPainterPath path;
    if (pointsRight) {
        path.moveTo(left, top);
        path.lineTo(right, middle);
        path.lineTo(left, bottom);
    } else {
        path.moveTo(right, top);
        path.lineTo(left, middle);
        path.lineTo(right, bottom);
    }
    path.closeSubpath();
    return path;
}

void PaintGlyph(QPainter &painter, TNavigateBtn button, const QColor &ink)
{
    painter.setRenderHint(QPainter::Antialiasing);
    switch (button) {
    case nbFirst:
        painter.fillRect(QRectF(4.0, 4.0, 2.0, 8.0), ink);
        painter.fillPath(TrianglePointing(6.0, 12.0, false), ink);
        break;
    case nbPrior:
        painter.fillPath(TrianglePointing(5.0, 11.0, false), ink);
        break;
    case nbNext:
        painter.fillPath(TrianglePointing(5.0, 11.0, true), ink);
        break;
    case nbLast:
        painter.fillPath(TrianglePointing(4.0, 10.0, true), ink);
        painter.fillRect(QRectF(10.0, 4.0, 2.0, 8.0), ink);
        break;
    case nbInsert:
        painter.fillRect(QRectF(7.0, 3.0, 2.0, 10.0), ink);
        painter.fillRect(QRectF(3.0, 7.0, 10.0, 2.0), ink);
        break;
    case nbEdit:
        painter.fillRect(QRectF(4.0, 4.0, 8.0, 2.0), ink);
        painter.fillPath([] {
            QPainterPath tip;
            tip.moveTo(5.0, 7.0);
            tip.lineTo(11.0, 7.0);
            tip.lineTo(8.0, 12.0);
            tip.closeSubpath();
            return tip;
        }(), ink);
        break;
    }
}

QIcon GlyphIcon(TNavigateBtn button, const QPalette &palette)
{
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        QPixmap pixmap(kGlyphSize, kGlyphSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const QPalette::ColorGroup group = mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Normal;
        PaintGlyph(painter, button, palette.color(group, QPalette::ButtonText));
        painter.end();
        icon.addPixmap(pixmap, mode);
    }
    return icon;
}

}  // namespace

class TDBNavigator::Link : public TDataLink {
public:
    explicit Link(TDBNavigator *navigator) : navigator_(navigator) {}
    void ActiveChanged() override { navigator_->UpdateButtons(); }
    void DataSetChanged() override { navigator_->UpdateButtons(); }
    void DataSetScrolled() override { navigator_->UpdateButtons(); }
    void EditingChanged() override { navigator_->UpdateButtons(); }

private:
    TDBNavigator *navigator_;
};

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent), link_(std::make_unique<Link>(this))
{
    setFocusPolicy(Qt::NoFocus);
    for (int i = 0; i < kButtonCount; ++i) {
        const auto kind = static_cast<TNavigateBtn>(i);
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(ButtonNames[i]));
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(GlyphIcon(kind, palette()));
        button->setAutoRepeat(kind == nbPrior || kind == nbNext);
        connect(button, &QToolButton::clicked, this, [this, kind] { BtnClick(kind); });
        buttons_[i] = button;
    }
    LayOutButtons();
    UpdateButtons();
}

TDBNavigator::~TDBNavigator() = default;

void TDBNavigator::SetDataSource(TDataSource *source)
{
    link_->SetDataSource(source);
    UpdateButtons();
}

TDataSource *TDBNavigator::DataSource() const
{
    return link_->DataSource();
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    HandlerGuard::Run([this, button] {
        TClientDataSet *table = ActiveTable();
        if (!table || !ShouldEnable(button))
            return;
        switch (button) {
        case nbFirst: table->First(); break;
        case nbPrior: table->Prior(); break;
        case nbNext: table->Next(); break;
        case nbLast: table->Last(); break;
        case nbInsert: table->Insert(); break;
        case nbEdit: table->Edit(); break;
        }
    });
}

QSize TDBNavigator::sizeHint() const
{
    return {kButtonWidth * kButtonCount, 25};
}

void TDBNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOutButtons();
}

// The buttons share the width evenly; the last one takes what is left over.
void TDBNavigator::LayOutButtons()
{
    const int each = width() / kButtonCount;
    for (int i = 0; i < kButtonCount; ++i) {
        const int buttonWidth = i + 1 == kButtonCount ? width() - each * i : each;
        buttons_[i]->setGeometry(each * i, 0, buttonWidth, height());
    }
}

void TDBNavigator::UpdateButtons()
{
    for (int i = 0; i < kButtonCount; ++i)
        buttons_[i]->setEnabled(ShouldEnable(static_cast<TNavigateBtn>(i)));
}

bool TDBNavigator::ShouldEnable(TNavigateBtn button) const
{
    TClientDataSet *table = ActiveTable();
    if (!table)
        return false;
    switch (button) {
    case nbFirst:
    case nbPrior:
        return !table->Bof();
    case nbNext:
    case nbLast:
        return !table->Eof();
    case nbInsert:
        return true;
    case nbEdit:
        return table->State() == dsBrowse;
    }
    return false;
}

TClientDataSet *TDBNavigator::ActiveTable() const
{
    TDataSource *source = link_->DataSource();
    TClientDataSet *table = source ? source->DataSet() : nullptr;
    return table && table->Active() ? table : nullptr;
}

}  // namespace Catraca
