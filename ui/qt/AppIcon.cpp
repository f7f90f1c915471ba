#include "ui/qt/AppIcon.h"

#include <QString>

// Outside any namespace: the macro declares the resource's init function.
static void InitIconResources()
{
    Q_INIT_RESOURCE(tolvanex);
}

QIcon AppIcon()
{
    InitIconResources();
    QIcon icon;
    for (int size : {16, 20, 24, 32, 40, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tolvanex-updater-%1.png").arg(size), QSize(size, size));
    return icon;
}
