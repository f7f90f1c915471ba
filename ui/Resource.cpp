#include "ui/Resource.h"

QString LoadStringResource(int id)
{
    switch (id) {
    case IDS_ABOUTBOX:
        return QStringLiteral("&Sobre el Updater...");
    default:
        return QString();
    }
}
