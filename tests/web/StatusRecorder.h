// Records every text that enters a status list, so a test sees the whole sequence of status
// texts even though each one replaces the last.
#pragma once

#include <QAbstractItemModel>
#include <QListWidget>

#include <string>
#include <vector>

class CStatusRecorder {
public:
    explicit CStatusRecorder(QListWidget& list) : m_list(list)
    {
        m_connection = QObject::connect(list.model(), &QAbstractItemModel::rowsInserted,
                                        [this](const QModelIndex&, int nFirst, int nLast) {
                                            for (int i = nFirst; i <= nLast; ++i)
                                                m_texts.push_back(m_list.item(i)->text().toStdString());
                                        });
    }
    ~CStatusRecorder() { QObject::disconnect(m_connection); }

    const std::vector<std::string>& Texts() const { return m_texts; }

    // The texts that begin with strPrefix, in order.
    std::vector<std::string> TextsStartingWith(const std::string& strPrefix) const
    {
        std::vector<std::string> texts;
        for (const std::string& strText : m_texts)
            if (strText.rfind(strPrefix, 0) == 0)
                texts.push_back(strText);
        return texts;
    }

private:
    QListWidget& m_list;
    QMetaObject::Connection m_connection;
    std::vector<std::string> m_texts;
};

inline std::vector<std::string> ListLines(const QListWidget& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.count(); ++i)
        lines.push_back(list.item(i)->text().toStdString());
    return lines;
}
