#pragma once

#include "generator/instance/instance.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <cstdint>
#include <optional>
#include <vector>

namespace keldar::generator {

// The optional rules of a rules file (share/keldar/rules/*.dzn).  A rule left
// out does not apply.
struct Rules {
    std::optional<int> minWorkingShifts;          // per nurse over the horizon
    std::optional<int> maxWorkingShifts;          // per nurse over the horizon
    std::optional<int> maxConsecutiveWorkingDays; // per nurse
    std::optional<int> minConsecutiveFreeDays;    // free periods between two working days
    // Working shift a followed by b the next day, as a * 100 + b.
    std::vector<int> forbiddenSuccessions;
};

struct ParsedRules {
    std::optional<Rules> rules;
    QString error; // names the line
};

// Reads the MiniZinc data of a rules file: `name = value;` items, `%`
// comments, whole numbers and `{a, b}` sets.  A byte order mark may begin
// it; a NUL is refused.
ParsedRules parseRules(const QByteArray &text);

// A roster: [nurse][day] shift types, 0..W-1 working, W free.
struct ParsedRoster {
    std::vector<int> roster;
    QString error; // names the line; empty when read
};

// N lines of D shift numbers separated by blanks; blank lines and lines
// starting with `%` or `#` are passed over.  A byte order mark may begin
// it; a NUL is refused.
ParsedRoster parseRoster(const QByteArray &text, const Instance &instance);

// The roster as parseRoster reads it: a line of D shift numbers a nurse.
QByteArray rosterLines(const std::vector<int> &roster, int nurses, int days);

enum class ViolationKind {
    Coverage,
    MinWorkingShifts,
    MaxWorkingShifts,
    ConsecutiveWorkingDays,
    ConsecutiveFreeDays,
    ForbiddenSuccession,
};

struct Violation {
    ViolationKind kind;
    QString text;
};

struct RosterCheck {
    std::int64_t cost = 0;
    std::vector<Violation> violations;
    bool feasible() const { return violations.empty(); }
};

// Checks the roster against the coverage and every rule, as the reference
// model states them.
RosterCheck checkRoster(const Instance &instance, const std::vector<int> &roster,
                        const Rules &rules = {});

// --check-roster INSTANCE ROSTER [RULES]: prints the cost and every
// violation.  Returns 0 for a feasible roster, 1 for an infeasible one, 2
// when a file is refused.
int checkRosterFiles(const QStringList &paths, QTextStream &out, QTextStream &err);

} // namespace keldar::generator
