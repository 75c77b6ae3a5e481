// A parameter record passed through with an open request: four-character
// keywords, each with a text. The one the helper sends is the express record,
// keyword 'expr' holding "express".
#pragma once

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

class EventDescriptor
{
public:
    // An empty record.
    static EventDescriptor recordDescriptor();
    // A text value.
    static EventDescriptor descriptorWithString(const QString &text);

    // Sets the record's item for 'keyword' (replacing one that is there).
    void setDescriptorForKeyword(const EventDescriptor &descriptor, std::uint32_t keyword);

    [[nodiscard]] QString stringValue() const { return m_text; }
    // The record's items in the order they were first set.
    [[nodiscard]] const std::vector<std::pair<std::uint32_t, QString>> &items() const
    {
        return m_items;
    }

    // The four characters of a keyword ('expr' gives "expr").
    [[nodiscard]] static QString keywordText(std::uint32_t keyword);

private:
    QString m_text;
    std::vector<std::pair<std::uint32_t, QString>> m_items;
};
