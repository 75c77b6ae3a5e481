#include "platform/eventdescriptor.h"

#include <algorithm>

EventDescriptor EventDescriptor::recordDescriptor()
{
    return {};
}

EventDescriptor EventDescriptor::descriptorWithString(const QString &text)
{
    EventDescriptor descriptor;
    descriptor.m_text = text;
    return descriptor;
}

void EventDescriptor::setDescriptorForKeyword(const EventDescriptor &descriptor,
                                              std::uint32_t keyword)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(),
                                 [keyword](const auto &item) { return item.first == keyword; });
    if (it != m_items.end())
        it->second = descriptor.stringValue();
    else
        m_items.emplace_back(keyword, descriptor.stringValue());
}

QString EventDescriptor::keywordText(std::uint32_t keyword)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += QChar(char16_t((keyword >> shift) & 0xff));
    return text;
}
