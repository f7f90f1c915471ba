// The line of a list box's item, as every backend that shows it as one line does.

#include <string>

#include "ui/WindowPlatform.h"

namespace wnd {

std::string ShownDate(const std::string& isoDate)
{
    if (isoDate.size() != 10 || isoDate[4] != '-' || isoDate[7] != '-')
        return isoDate;
    return isoDate.substr(8, 2) + "/" + isoDate.substr(5, 2) + "/" + isoDate.substr(0, 4);
}

std::string ListItemLine(const ListItem& item)
{
    std::string line = item.name;
    for (const std::string& part : {ShownDate(item.date), item.remark}) {
        if (part.empty())
            continue;
        if (!line.empty())
            line += "  ";
        line += part;
    }
    return line;
}

}  // namespace wnd
