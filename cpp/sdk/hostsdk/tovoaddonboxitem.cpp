#include "tovoaddonboxitem.h"

TovoAddonBoxItem::TovoAddonBoxItem(int addonId, int slot, QObject* parent)
    : QObject(parent), m_addonId(addonId), m_slot(slot)
{}

TovoAddonBoxItem::~TovoAddonBoxItem() = default;

void TovoAddonBoxItem::setImagePath(const QString& path)
{
    m_imagePath = path;
    emit changed();
}

void TovoAddonBoxItem::setToolTipText(const QString& text)
{
    m_toolTipText = text;
    emit changed();
}

void TovoAddonBoxItem::setText(const QString& text)
{
    m_text = text;
    emit changed();
}

void TovoAddonBoxItem::setName(const char* name)
{
    m_name = QString::fromUtf8(name != nullptr ? name : "");
    emit changed();
}

void TovoAddonBoxItem::setPriority(int priority)
{
    m_priority = priority;
    emit changed();
}

void TovoAddonBoxItem::click()
{
    emit clicked();
}
