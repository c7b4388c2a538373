#pragma once
#include <QString>
#include <memory>

class TMemTable;

// A filter expression compiled against one table's fields:
//   expr   := term { OR term }
//   term   := factor { AND factor }
//   factor := "(" expr ")" | FIELD op literal | FIELD IN "(" literal { "," literal } ")"
//   op     := "=" | "<>" | ">=" | "<=" | "<" | ">"
// Literals are integers, decimal numbers, or texts in apostrophes (a doubled
// apostrophe stands for one). A text compared with a date or time field is read
// in the system's short date and long time formats. Keywords ignore letter case.
// A comparison with an empty (null) value is false.
class TFilterExpr {
public:
    // Raises ETableError naming the expression and the position of the fault.
    static std::unique_ptr<TFilterExpr> compile(const QString &expression, const TMemTable &table);
    ~TFilterExpr();
    bool matches(const TMemTable &table, int record) const;

    struct Node;

private:
    explicit TFilterExpr(std::unique_ptr<Node> root);
    std::unique_ptr<Node> m_root;
};

// Joins a condition to a filter expression with AND: an empty condition changes
// nothing, an empty expression becomes "(" + condition + ")", otherwise
// " AND (" + condition + ")" is appended.
void AndFilter(const QString &condition, QString &expression);
