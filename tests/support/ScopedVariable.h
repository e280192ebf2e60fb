#pragma once

#include <cstdlib>
#include <string>

// Sets an environment variable for the life of the object. POSIX (setenv).
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_hadOld = true;
            m_old = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_hadOld)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    bool m_hadOld = false;
    std::string m_old;
};
