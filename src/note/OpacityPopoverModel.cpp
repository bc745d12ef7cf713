#include "note/OpacityPopoverModel.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "note/NoteViewModel.h"
#include "platform/NotificationCenter.h"

void OpacityPopoverModel::show(double windowOpacity)
{
    setValue(windowOpacity);
}

void OpacityPopoverModel::setValue(double value)
{
    if (!std::isfinite(value)) return;
    value = std::clamp(value, minimum, maximum);
    if (value == m_value) return;
    m_value = value;
    m_notifications.post(tarnwickOpacityChanged, m_noteID.toString(QUuid::WithoutBraces).toUpper(),
                         {{QStringLiteral("value"), m_value}});
}

int OpacityPopoverModel::sliderPosition() const
{
    return int(std::lround(m_value * 1000.0));
}

void OpacityPopoverModel::setSliderPosition(int perMille)
{
    // The slider reports its own position back when the value moves it: no second post then.
    if (perMille == sliderPosition()) return;
    setValue(perMille / 1000.0);
}

QString OpacityPopoverModel::headerText() const
{
    return QString::number(NoteViewModel::percent(m_value)) + QLatin1Char('%');
}

QString OpacityPopoverModel::accessibleValue() const
{
    return QCoreApplication::translate("OpacityPopover", "%1 percent").arg(NoteViewModel::percent(m_value));
}

QString OpacityPopoverModel::presetLabel(double preset)
{
    return QString::number(NoteViewModel::percent(preset));
}

QString OpacityPopoverModel::presetToolTip(double preset)
{
    return QCoreApplication::translate("OpacityPopover", "%1 percent").arg(NoteViewModel::percent(preset));
}

QColor OpacityPopoverModel::stepPaper()
{
    return QColor::fromRgbF(0.741f, 0.714f, 0.659f);
}
