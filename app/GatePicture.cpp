#include "app/GatePicture.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <map>

namespace Catraca {

namespace GatePicture {

namespace {

constexpr int kPostWidth = 138;
constexpr int kPostHeight = 373;

void DrawShadow(QPainter &painter)
{
    QRadialGradient shade(QPointF(69, 364), 60);
    shade.setColorAt(0.0, QColor(0, 0, 0, 90));
    shade.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawEllipse(QPointF(69, 364), 62, 8);
}

void DrawBase(QPainter &painter)
{
    QLinearGradient metal(0, 348, 0, 362);
    metal.setColorAt(0.0, QColor(70, 70, 70));
    metal.setColorAt(1.0, QColor(20, 20, 20));
    painter.setPen(QPen(QColor(10, 10, 10), 1));
    painter.setBrush(metal);
    painter.drawRoundedRect(QRectF(18.5, 348.5, 101, 13), 3, 3);
}

void DrawBody(QPainter &painter)
{
    QLinearGradient body(34, 0, 104, 0);
    body.setColorAt(0.0, QColor(45, 45, 48));
    body.setColorAt(0.25, QColor(18, 18, 20));
    body.setColorAt(0.7, QColor(5, 5, 6));
    body.setColorAt(1.0, QColor(35, 35, 38));
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(body);
    QPainterPath outline;
    outline.moveTo(36.5, 349);
    outline.lineTo(36.5, 96);
    outline.quadTo(36.5, 84.5, 48, 84.5);
    outline.lineTo(90, 84.5);
    outline.quadTo(101.5, 84.5, 101.5, 96);
    outline.lineTo(101.5, 349);
    outline.closeSubpath();
    painter.drawPath(outline);

    // A thin highlight down the left edge gives the post its roundness.
    painter.setPen(QPen(QColor(95, 95, 100), 1));
    painter.drawLine(QPointF(40.5, 97), QPointF(40.5, 344));
}

void DrawReaderPanel(QPainter &painter)
{
    painter.setPen(QPen(QColor(90, 90, 95), 1));
    painter.setBrush(QColor(28, 28, 32));
    painter.drawRoundedRect(QRectF(46.5, 118.5, 45, 78), 4, 4);

    // Card slot: a dark gap with a lit lip below it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0));
    painter.drawRect(QRectF(52, 134, 34, 5));
    painter.setBrush(QColor(150, 150, 155));
    painter.drawRect(QRectF(52, 139, 34, 1.5));

    // A tab card half inserted into the slot.
    painter.setPen(QPen(QColor(180, 160, 60), 1));
    painter.setBrush(QColor(240, 215, 90));
    painter.drawRect(QRectF(58.5, 122.5, 22, 12));
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    for (int bar = 0; bar < 8; ++bar) {
        const qreal x = 61.5 + bar * 2.3;
        painter.drawLine(QPointF(x, 125), QPointF(x, 132));
    }

    // Status lamps under the slot.
    const QColor lamps[] = {QColor(0, 220, 0), QColor(200, 30, 30)};
    for (int index = 0; index < 2; ++index) {
        QRadialGradient glow(QPointF(60 + index * 18, 160), 6);
        glow.setColorAt(0.0, lamps[index].lighter(160));
        glow.setColorAt(1.0, lamps[index].darker(150));
        painter.setPen(QPen(QColor(0, 0, 0), 1));
        painter.setBrush(glow);
        painter.drawEllipse(QPointF(60 + index * 18, 160), 5, 5);
    }

    // Speaker grille.
    painter.setPen(QPen(QColor(70, 70, 75), 1));
    for (int row = 0; row < 3; ++row)
        painter.drawLine(QPointF(56, 178.5 + row * 4), QPointF(82, 178.5 + row * 4));
}

void DrawNeckAndSign(QPainter &painter)
{
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(QColor(25, 25, 28));
    painter.drawRect(QRectF(62.5, 58.5, 13, 27));

    QLinearGradient frame(0, 6, 0, 60);
    frame.setColorAt(0.0, QColor(55, 55, 60));
    frame.setColorAt(1.0, QColor(15, 15, 18));
    painter.setBrush(frame);
    painter.drawRoundedRect(QRectF(10.5, 6.5, 117, 53), 5, 5);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(8, 20, 8));
    painter.drawRect(QRectF(16, 12, 106, 42));

    // A green arrow for "pass" and a red cross for "stop".
    QPolygonF arrow;
    arrow << QPointF(24, 29) << QPointF(44, 29) << QPointF(44, 21) << QPointF(60, 33)
          << QPointF(44, 45) << QPointF(44, 37) << QPointF(24, 37);
    painter.setBrush(QColor(40, 230, 60));
    painter.drawPolygon(arrow);

    painter.setPen(QPen(QColor(235, 45, 45), 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(84, 22), QPointF(108, 44));
    painter.drawLine(QPointF(108, 22), QPointF(84, 44));
}

void DrawIconPost(QPainter &painter, int size)
{
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(QColor(20, 20, 22));
    painter.drawRoundedRect(QRectF(10.5, 4.5, 11, 24), 2, 2);
    painter.setBrush(QColor(60, 60, 60));
    painter.drawRect(QRectF(6.5, 27.5, 19, 3));
    QRadialGradient glow(QPointF(16, 10), 4);
    glow.setColorAt(0.0, QColor(170, 255, 170));
    glow.setColorAt(1.0, QColor(0, 170, 0));
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(16, 10), 3.2, 3.2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(160, 160, 165));
    painter.drawRect(QRectF(12.5, 17, 7, 1.5));
}

// Draws the icon at the size the desktop asks for, when it asks: drawing
// every size up front cost a noticeable part of the program's start.
class IconEngine : public QIconEngine {
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const QPixmap picture = pixmap(rect.size(), QIcon::Normal, QIcon::Off);
        painter->drawPixmap(rect.topLeft(), picture);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return QPixmap();
        const auto drawn = drawn_.find(side);
        if (drawn != drawn_.end())
            return drawn->second;
        QPixmap picture(side, side);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        DrawIconPost(painter, side);
        painter.end();
        drawn_.emplace(side, picture);
        return picture;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : {16, 24, 32, 48, 64, 128, 256})
            sizes.append(QSize(side, side));
        return sizes;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }

    QIconEngine *clone() const override { return new IconEngine(*this); }
    QString key() const override { return QStringLiteral("GatePicture"); }

private:
    std::map<int, QPixmap> drawn_;
};

}  // namespace

QImage GatePost()
{
    QImage image(kPostWidth, kPostHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawShadow(painter);
    DrawBase(painter);
    DrawBody(painter);
    DrawReaderPanel(painter);
    DrawNeckAndSign(painter);
    return image;
}

QIcon ProgramIcon()
{
    return QIcon(new IconEngine);
}

}  // namespace GatePicture

}  // namespace Catraca
