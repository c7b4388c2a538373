#include "cfghandler.h"

#include "myutils.h"

#include <QFile>

TFileCfgHandler::TFileCfgHandler(const QString &directory) : CfgDir(directory)
{
    EnsureDirectory(CfgDir);
}

QString TFileCfgHandler::ItemFileName(const QString &category, const QString &subCategory,
                                      const QString &key) const
{
    QString name = JoinPath(CfgDir, key);
    if (!category.isEmpty())
        name += QLatin1Char('.') + category;
    if (!subCategory.isEmpty())
        name += QLatin1Char('.') + subCategory;
    return name;
}

bool TFileCfgHandler::ReadCfg(const QString &category, const QString &subCategory, const QString &key,
                              QByteArray &value)
{
    value = ReadFileToString(ItemFileName(category, subCategory, key));
    return !value.isEmpty();
}

bool TFileCfgHandler::WriteCfg(const QString &category, const QString &subCategory, const QString &key,
                               const QByteArray &value)
{
    // Through a temporary file and a rename, so that a failed write keeps the old item.
    return WriteStringToFile(value, ItemFileName(category, subCategory, key));
}

bool TFileCfgHandler::DeleteCfg(const QString &category, const QString &subCategory, const QString &key)
{
    return QFile::remove(ItemFileName(category, subCategory, key));
}
