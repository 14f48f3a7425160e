#pragma once

#include <framework/ui/datalink.h>
#include <framework/ui/uiexport.h>

#include <QLineEdit>
#include <QPlainTextEdit>

namespace fw {

// An edit showing one field of the current record. Typing into it (unless read-only) puts the
// record set into editing and writes the field.
class FW_UI_EXPORT TDBEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);

    void setDataSource(DataSource *source) { m_link->setDataSource(source); }
    void setDataField(const QString &name) { m_link->setDataField(name); }
    DataLink *link() const { return m_link; }

private:
    void refresh();
    void edited(const QString &text);

    DataLink *m_link;
    bool m_refreshing = false;
    bool m_writing = false;
};

// A memo bound to a text field; it takes no more characters than the field holds.
class FW_UI_EXPORT TDBMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);

    void setDataSource(DataSource *source) { m_link->setDataSource(source); }
    void setDataField(const QString &name) { m_link->setDataField(name); }
    int maxLength() const;

private:
    void refresh();
    void edited();

    DataLink *m_link;
    bool m_refreshing = false;
    bool m_writing = false;
    QString m_shown;
};

} // namespace fw
