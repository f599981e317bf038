#include "app/instance_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr auto kFolderName = "variredu-divar";
// Enough of a command line to tell which clock it is.
constexpr qint64 kCommandShown = 256;

// A folder, not a link to one, that is this user's and that no one else may write to.
[[nodiscard]] bool onlyUserWrites(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

[[nodiscard]] QString homeDirectory() {
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home)) {
        return home;
    }
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QFile::decodeName(entry->pw_dir) : QString();
}

// Makes `path` if need be, and narrows it to the user when others may enter it: it is ours alone.
// Why not, naming it; nothing when it is ready.
[[nodiscard]] QString makePrivate(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    QDir().mkpath(QFileInfo(path).path());
    ::mkdir(name.constData(), S_IRWXU);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return QStringLiteral("%1 is not a folder that can be made").arg(path);
    }
    if (info.st_uid != ::geteuid()) {
        return QStringLiteral("%1 belongs to another user").arg(path);
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(name.constData(), S_IRWXU) != 0) {
        return QStringLiteral("%1 is open to others and can't be narrowed").arg(path);
    }
    return {};
}

} // namespace

InstanceDirectory instanceDirectory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info = {};
    if (QDir::isAbsolutePath(runtime) && ::lstat(QFile::encodeName(runtime).constData(), &info) == 0 &&
        onlyUserWrites(info)) {
        return {QDir::cleanPath(runtime), {}};
    }
    // Not ours, or not there (su, some ssh sessions): a folder in the home, which is ours.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) {
        const QString home = homeDirectory();
        if (home.isEmpty()) {
            return {{}, QStringLiteral("no usable XDG_RUNTIME_DIR and no home folder")};
        }
        state = home + QStringLiteral("/.local/state");
    }
    const QString path = QDir::cleanPath(state + u'/' + QLatin1String(kFolderName));
    QString problem = makePrivate(path);
    return problem.isEmpty() ? InstanceDirectory{path, {}} : InstanceDirectory{{}, std::move(problem)};
}

QString describeProcess(qint64 pid) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QByteArray command;
    if (cmdline.open(QIODevice::ReadOnly)) {
        command = cmdline.read(kCommandShown).replace('\0', ' ').trimmed();
    }
    return command.isEmpty()
               ? QStringLiteral("process %1").arg(pid)
               : QStringLiteral("process %1 (%2)").arg(pid).arg(QString::fromLocal8Bit(command));
}
