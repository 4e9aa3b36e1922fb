#include "PrivateFolder.h"

#include "FileNames.h"
#include "OwnFolder.h"

#include <QDir>

namespace {
std::string native(const QString &path)
{
    return EncodeFileName(path).toStdString();
}

PrivateFolder fromOwn(const OwnFolder &own)
{
    PrivateFolder folder;
    if (!own.Path.empty()) {
        folder.Path = DecodeFileName(QByteArray::fromStdString(own.Path));
        folder.Device = own.Device;
        folder.Inode = own.Inode;
    }
    return folder;
}
} // namespace

QString AbsolutePathFromEnvironment(const char *name)
{
    const std::string value = OwnFolder::PathFromEnvironment(name);
    return value.empty() ? QString()
                         : QDir::cleanPath(DecodeFileName(QByteArray::fromStdString(value)));
}

QString AccountHome()
{
    const std::string home = OwnFolder::AccountHome();
    return home.empty() ? QString()
                        : QDir::cleanPath(DecodeFileName(QByteArray::fromStdString(home)));
}

bool PrivateFolder::IsOwn(const QString &path)
{
    return OwnFolder::IsOwn(native(path));
}

int PrivateFolder::OpenOwn(const QString &path, bool make)
{
    return OwnFolder::OpenOwn(native(path), make);
}

bool PrivateFolder::IsSafeParent(const QString &path)
{
    return OwnFolder::IsSafeParent(native(path));
}

PrivateFolder PrivateFolder::MakeFresh(const QString &prefix)
{
    return fromOwn(OwnFolder::MakeFresh(native(prefix)));
}

bool PrivateFolder::Remove() const
{
    OwnFolder own;
    own.Path = native(Path);
    own.Device = dev_t(Device);
    own.Inode = ino_t(Inode);
    return own.Remove();
}
