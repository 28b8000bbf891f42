// One line of the status list, kept as UTF-8 bytes rather than as a stored display value:
// a long update logs one line per data line, and each must cost little memory.
#pragma once

#include <QByteArray>
#include <QListWidgetItem>

#include <string>

class CStatusLine : public QListWidgetItem {
public:
    explicit CStatusLine(const std::string& text);

    QVariant data(int role) const override;
    void setData(int role, const QVariant& value) override;

private:
    QByteArray m_text;
    bool m_bOwnText = true; // false once the text has been set as an ordinary item's
};
