#include "app/BrowseFolder.h"
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString BrowseFolder(QWidget* owner)
{
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    const QString chosen = QFileDialog::getExistingDirectory(owner, u"フォルダを選択してください"_s,
                                                             start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return {};
    // cleanPath drops a trailing separator but keeps the one of a root ("/", "C:/").
    return QDir::cleanPath(chosen);
}
