#pragma once

#include <QList>
#include <QString>

// The versions of what the program runs on, as this process finds them at
// the moment of asking, for the user to read or pass on. A component that
// cannot be found reads "not found".
namespace ComponentVersions {

struct Component
{
    QString name;
    QString version;
};

QList<Component> ThisMachine();

// As lines of "name: version".
QString AsText(const QList<Component>& components);

} // namespace ComponentVersions
