#include "PortList.h"

#include "SerialWin.h"

#include <algorithm>

namespace ZORVI {
namespace Communication {

namespace {

bool contains(const PortList::Names& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

PortList::PortList()
    : m_ownPort(std::make_unique<Serial::SerialWin>())
    , m_port(*m_ownPort)
{
}

PortList::PortList(Serial::SerialBase& port)
    : m_port(port)
{
}

PortList::~PortList() = default;

PortList::Names PortList::present()
{
    Names names;
    char name[NAME_SIZE] = {};
    for (uint32_t index = 0; index < MAX_PORTS; ++index) {
        if (!m_port.enumeratePort(index, name, sizeof name))
            break;
        name[sizeof name - 1] = '\0';
        names.emplace_back(name);
    }
    return names;
}

PortList::Names PortList::sortedPresent()
{
    return sorted(present());
}

bool PortList::update()
{
    bool changed = false;
    Names next = followed(m_known, present(), &changed);
    if (changed)
        m_known = std::move(next);
    return changed;
}

PortList::Names PortList::sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

PortList::Names PortList::followed(const Names& known, const Names& present, bool* changed)
{
    Names next;
    *changed = false;
    for (const std::string& name : known) {
        if (contains(present, name))
            next.push_back(name);
        else
            *changed = true;
    }
    for (const std::string& name : present) {
        if (!contains(known, name)) {
            next.push_back(name);
            *changed = true;
        }
    }
    return sorted(std::move(next));
}

} // namespace Communication
} // namespace ZORVI
