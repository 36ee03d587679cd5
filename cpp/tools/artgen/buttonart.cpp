#include "tools/artgen/buttonart.h"

#include "tools/artgen/glyphart.h"

#include <QPainter>

namespace {

QColor disabledFill()
{
    return QColor(0xD9, 0xDC, 0xE6);
}

QColor disabledText()
{
    return QColor(0xA2, 0xA7, 0xBA);
}

QRectF pillRect(const QSize& size)
{
    return QRectF(1, 0.5, size.width() - 2, size.height() - 2.5);
}

void pillBody(QPainter& p, const QPainterPath& shape, const ArtKit::Ramp& ramp, ButtonArt::State state)
{
    using State = ButtonArt::State;
    switch (state) {
    case State::Normal:
        ArtKit::shadow(p, shape, 2, 1, ArtKit::withAlpha(ramp.deep, 90));
        ArtKit::fillVertical(p, shape, ramp.base, ramp.base.darker(115));
        break;
    case State::Hover:
        ArtKit::shadow(p, shape, 3, 1, ArtKit::withAlpha(ramp.deep, 150));
        ArtKit::fillVertical(p, shape, ramp.base.lighter(112), ramp.base);
        break;
    case State::Pressed:
        ArtKit::fillVertical(p, shape, ramp.base.darker(115), ramp.deep);
        break;
    case State::Disabled:
        p.fillPath(shape, disabledFill());
        break;
    }
}

// A thin light line along the top edge, or a dark one when pressed, gives the pill its depth.
void pillEdge(QPainter& p, const QRectF& body, qreal radius, ButtonArt::State state)
{
    if (state == ButtonArt::State::Disabled) {
        return;
    }
    const bool pressed = state == ButtonArt::State::Pressed;
    p.save();
    p.setClipPath(ArtKit::rounded(body, radius));
    const QColor edge = pressed ? QColor(0, 0, 0, 60) : QColor(255, 255, 255, 90);
    p.setPen(QPen(edge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(body.adjusted(0.5, 0.5, -0.5, pressed ? 2 : 6), radius));
    p.restore();
}

struct TileLook
{
    ArtKit::Ramp ramp;
    QColor glyphLeft;
    QColor glyphRight;
    QColor lit; // words on a hovered or pressed tile
    QString words;
};

TileLook tileLook(ButtonArt::Tile kind)
{
    switch (kind) {
    case ButtonArt::Tile::Group:
        return {ArtKit::cool(), ArtKit::warm().base, ArtKit::cool().base, ArtKit::cool().deep,
                QStringLiteral("对战投票")};
    case ButtonArt::Tile::Judge:
        return {ArtKit::gold(), ArtKit::gold().light.darker(104), ArtKit::gold().deep,
                ArtKit::gold().deep.darker(140), QStringLiteral("评委投票")};
    case ButtonArt::Tile::Normal:
        break;
    }
    return {ArtKit::accent(), ArtKit::accent().light, ArtKit::accent().deep, ArtKit::accent().deep,
            QStringLiteral("普通投票")};
}

void tileGlyph(QPainter& p, ButtonArt::Tile kind, const QRectF& disk)
{
    const QRectF inner =
        disk.adjusted(disk.width() * 0.22, disk.height() * 0.22, -disk.width() * 0.22, -disk.height() * 0.22);
    switch (kind) {
    case ButtonArt::Tile::Normal:
        GlyphArt::ballot(p, inner, Qt::white, ArtKit::withAlpha(Qt::white, 235), ArtKit::accent().base);
        break;
    case ButtonArt::Tile::Group:
        GlyphArt::versus(p, inner, Qt::white);
        break;
    case ButtonArt::Tile::Judge:
        ArtKit::star(p, inner.center() + QPointF(0, 1), inner.width() * 0.55, inner.width() * 0.24,
                     Qt::white);
        break;
    }
}

} // namespace

void ButtonArt::filled(QPainter& p, const QSize& size, const ArtKit::Ramp& ramp, const QString& words,
                       const QColor& onColour, State state)
{
    QRectF body = pillRect(size);
    if (state == State::Pressed) {
        body.translate(0, 1);
    }
    const qreal radius = body.height() / 2;
    const QPainterPath shape = ArtKit::rounded(body, radius);
    pillBody(p, shape, ramp, state);
    pillEdge(p, body, radius, state);
    const QColor wordsColour = state == State::Disabled ? disabledText() : onColour;
    const qreal pixelSize = size.height() >= 28 ? 14 : 12;
    ArtKit::text(p, body, words, ArtKit::font(pixelSize, true), wordsColour);
}

void ButtonArt::ghost(QPainter& p, const QSize& size, const QString& words, State state)
{
    const QRectF body(3, 4, size.width() - 6, size.height() - 8);
    QColor colour = ArtKit::slate();
    if (state == State::Hover) {
        p.fillPath(ArtKit::rounded(body, 6), ArtKit::accent().soft);
        colour = ArtKit::accent().base;
    } else if (state == State::Pressed) {
        p.fillPath(ArtKit::rounded(body, 6), ArtKit::accent().soft.darker(108));
        colour = ArtKit::accent().deep;
    }
    const QRectF chevronBox(body.left() + 8, body.center().y() - 5, 6, 10);
    GlyphArt::chevron(p, chevronBox, colour, 2);
    const QRectF textBox(chevronBox.right() + 4, body.top(), body.right() - chevronBox.right() - 10,
                         body.height());
    ArtKit::text(p, textBox, words, ArtKit::font(13, state != State::Normal), colour);
}

void ButtonArt::tile(QPainter& p, const QSize& size, Tile kind, State state)
{
    const TileLook look = tileLook(kind);
    const bool pressed = state == State::Pressed;
    const QRectF card = QRectF(6, 4, size.width() - 12, size.height() - 12).translated(0, pressed ? 2 : 0);
    const QPainterPath shape = ArtKit::rounded(card, 16);
    if (state == State::Normal) {
        ArtKit::shadow(p, shape, 8, 3, ArtKit::withAlpha(ArtKit::ink(), 40));
    } else if (state == State::Hover) {
        ArtKit::shadow(p, shape, 10, 4, ArtKit::withAlpha(look.ramp.base, 110));
    }
    p.fillPath(shape, pressed ? look.ramp.soft : QColor(Qt::white));
    const bool lit = state != State::Normal;
    p.setPen(QPen(lit ? look.ramp.base : ArtKit::mist(), lit ? 2 : 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(card.adjusted(0.5, 0.5, -0.5, -0.5), 16));

    const QRectF disk(card.center().x() - 29, card.top() + 14, 58, 58);
    QPainterPath round;
    round.addEllipse(disk);
    ArtKit::shadow(p, round, 4, 2, ArtKit::withAlpha(look.ramp.deep, pressed ? 40 : 90));
    QLinearGradient fill(disk.topLeft(), disk.bottomRight());
    const QColor from = pressed ? look.glyphLeft.darker(110) : look.glyphLeft;
    const QColor to = pressed ? look.glyphRight.darker(110) : look.glyphRight;
    fill.setColorAt(0, from);
    if (kind == Tile::Group) {
        // The two team colours meet on a diagonal instead of blending into brown.
        fill.setColorAt(0.5, from.lighter(104));
        fill.setColorAt(0.5001, to.lighter(104));
    }
    fill.setColorAt(1, to);
    p.fillPath(round, fill);
    tileGlyph(p, kind, disk);

    const QRectF label(card.left(), disk.bottom() + 8, card.width(), 24);
    const QColor words = state == State::Normal ? ArtKit::ink() : look.lit;
    ArtKit::text(p, label, look.words, ArtKit::font(15, true), words);
}
