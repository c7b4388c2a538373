#pragma once
#include <QByteArray>
#include <QString>

// A store of named configuration items (grid column layouts, output
// definitions). An item is addressed by category, sub-category and key.
class TCfgHandler {
public:
    virtual ~TCfgHandler() = default;
    // True when the item holds something; the value is empty otherwise.
    virtual bool ReadCfg(const QString &category, const QString &subCategory, const QString &key,
                         QByteArray &value) = 0;
    virtual bool WriteCfg(const QString &category, const QString &subCategory, const QString &key,
                          const QByteArray &value) = 0;
    virtual bool DeleteCfg(const QString &category, const QString &subCategory, const QString &key) = 0;
};

// One file per item in CfgDir: "<key>[.<category>][.<sub-category>]", holding
// the item's bytes and nothing else. No operation raises; the results tell.
class TFileCfgHandler : public TCfgHandler {
public:
    // Makes the directory (with its parents) when it does not exist.
    explicit TFileCfgHandler(const QString &directory);

    QString CfgDir;

    QString ItemFileName(const QString &category, const QString &subCategory, const QString &key) const;

    bool ReadCfg(const QString &category, const QString &subCategory, const QString &key,
                 QByteArray &value) override;
    // Replaces the item file whole. With an empty value the result tells whether
    // the (empty) file could be created, otherwise whether every byte was written.
    bool WriteCfg(const QString &category, const QString &subCategory, const QString &key,
                  const QByteArray &value) override;
    // True when the item file was deleted.
    bool DeleteCfg(const QString &category, const QString &subCategory, const QString &key) override;
};
