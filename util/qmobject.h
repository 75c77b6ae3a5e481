// The common root of the helper's non-window classes.
#pragma once

// Keys are served by accessors only: a property that the window or a caller
// reads by name goes through its READ/WRITE functions, never straight to a
// field. In Qt terms: our Q_PROPERTYs never use MEMBER.
class QMObject
{
public:
    static constexpr bool accessInstanceVariablesDirectly() { return false; }

protected:
    QMObject() = default;
    ~QMObject() = default;
};
