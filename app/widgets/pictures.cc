#include "app/widgets/pictures.h"

namespace app {

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/pictures/gridshift.xpm"));
}

QPixmap moveTick()
{
    return QPixmap(QStringLiteral(":/pictures/tick.xpm"));
}

QPixmap moveTickDisabled()
{
    return QPixmap(QStringLiteral(":/pictures/tick_disabled.xpm"));
}

QIcon moveButtonIcon()
{
    QIcon icon;
    icon.addPixmap(moveTick(), QIcon::Normal);
    // Without its own picture Qt would grey the green tick out by itself.
    icon.addPixmap(moveTickDisabled(), QIcon::Disabled);
    return icon;
}

} // namespace app
