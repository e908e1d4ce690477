#pragma once

// Filter criteria of the record set: parsed once into clauses with their
// values already in the column's type, then evaluated column by column.
// Internal to the record set.

#include "platform/recordset/RecordsetStorage.h"

#include <QString>

#include <vector>

namespace RecordsetDetail {

enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like };
enum class LikeKind { Equal, StartsWith, EndsWith, Contains };

struct Clause
{
    int column = 0;
    Op op = Op::Eq;
    LikeKind like = LikeKind::Equal;
    bool integral = false; // integer column and whole operand: compare as int64
    qint64 integer = 0;    // integers, booleans, packed dates
    double real = 0;
    QString text;
};

// Clauses joined by AND inside a group; groups joined by OR.
struct Criteria
{
    std::vector<std::vector<Clause>> groups;
};

// Throws AppError (ErrCriteria, or ErrFieldNotFound for an unknown column).
Criteria ParseCriteria(const QString& text, const Table& table);

// Table rows that pass, in table order.
std::vector<int> Evaluate(const Criteria& criteria, const Table& table);

} // namespace RecordsetDetail
