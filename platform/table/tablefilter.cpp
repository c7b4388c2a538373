#include "tablefilter.h"

#include <cmath>
#include <vector>

#include "formatsettings.h"
#include "memtable.h"

struct TFilterExpr::Node {
    enum Kind { And, Or, Compare, In } kind = Compare;
    enum Op { Eq, Ne, Lt, Le, Gt, Ge } op = Eq;
    std::unique_ptr<Node> left, right;
    int field = -1;
    TValueKind valueKind = TValueKind::Int;
    // Integer fields compare against a double, so that 2.5 and 2 stay distinct.
    std::vector<double> numbers;
    std::vector<QString> texts;
};

namespace {
using Node = TFilterExpr::Node;

enum class Tok { End, Ident, Number, Text, LParen, RParen, Comma, Op, And, Or, In };

struct Token {
    Tok kind = Tok::End;
    QString text;
    Node::Op op = Node::Eq;
    int pos = 0; // 1-based position in the expression
};

class Parser {
public:
    Parser(const QString &expr, const TMemTable &table) : m_expr(expr), m_table(table) { advance(); }

    std::unique_ptr<Node> parse()
    {
        auto root = parseOr();
        if (m_tok.kind != Tok::End)
            fail(m_tok.pos, QStringLiteral("unexpected \"%1\"").arg(m_tok.text));
        return root;
    }

private:
    [[noreturn]] void fail(int pos, const QString &what) const
    {
        throw ETableError(QStringLiteral("Invalid filter expression \"%1\" at position %2: %3").arg(m_expr).arg(pos).arg(what));
    }

    void advance()
    {
        const int n = int(m_expr.size());
        while (m_i < n && m_expr[m_i].isSpace())
            ++m_i;
        m_tok = Token{};
        m_tok.pos = m_i + 1;
        if (m_i >= n) {
            m_tok.kind = Tok::End;
            m_tok.text = QStringLiteral("end of expression");
            return;
        }
        const QChar c = m_expr[m_i];
        if (c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char(',')) {
            m_tok.kind = c == QLatin1Char('(') ? Tok::LParen : (c == QLatin1Char(')') ? Tok::RParen : Tok::Comma);
            m_tok.text = c;
            ++m_i;
            return;
        }
        if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>')) {
            m_tok.kind = Tok::Op;
            const QChar d = m_i + 1 < n ? m_expr[m_i + 1] : QChar();
            if (c == QLatin1Char('<') && d == QLatin1Char('=')) m_tok.op = Node::Le;
            else if (c == QLatin1Char('>') && d == QLatin1Char('=')) m_tok.op = Node::Ge;
            else if (c == QLatin1Char('<') && d == QLatin1Char('>')) m_tok.op = Node::Ne;
            else if (c == QLatin1Char('<')) m_tok.op = Node::Lt;
            else if (c == QLatin1Char('>')) m_tok.op = Node::Gt;
            else m_tok.op = Node::Eq;
            const int len = (m_tok.op == Node::Le || m_tok.op == Node::Ge || m_tok.op == Node::Ne) ? 2 : 1;
            m_tok.text = m_expr.mid(m_i, len);
            m_i += len;
            return;
        }
        if (c == QLatin1Char('\'')) {
            QString text;
            int j = m_i + 1;
            for (;;) {
                if (j >= n)
                    fail(m_tok.pos, QStringLiteral("unterminated text literal"));
                if (m_expr[j] == QLatin1Char('\'')) {
                    if (j + 1 < n && m_expr[j + 1] == QLatin1Char('\'')) {
                        text += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += m_expr[j++];
            }
            m_tok.kind = Tok::Text;
            m_tok.text = text;
            m_i = j + 1;
            return;
        }
        if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('+')) && m_i + 1 < n && m_expr[m_i + 1].isDigit())) {
            int j = m_i + 1;
            while (j < n && (m_expr[j].isDigit() || m_expr[j] == QLatin1Char('.')))
                ++j;
            m_tok.kind = Tok::Number;
            m_tok.text = m_expr.mid(m_i, j - m_i);
            m_i = j;
            return;
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            int j = m_i + 1;
            while (j < n && (m_expr[j].isLetterOrNumber() || m_expr[j] == QLatin1Char('_')))
                ++j;
            m_tok.text = m_expr.mid(m_i, j - m_i);
            const QString upper = m_tok.text.toUpper();
            m_tok.kind = upper == QLatin1String("AND") ? Tok::And
                : upper == QLatin1String("OR")         ? Tok::Or
                : upper == QLatin1String("IN")         ? Tok::In
                                                       : Tok::Ident;
            m_i = j;
            return;
        }
        fail(m_tok.pos, QStringLiteral("unexpected character \"%1\"").arg(c));
    }

    std::unique_ptr<Node> parseOr()
    {
        auto left = parseAnd();
        while (m_tok.kind == Tok::Or) {
            advance();
            auto n = std::make_unique<Node>();
            n->kind = Node::Or;
            n->left = std::move(left);
            n->right = parseAnd();
            left = std::move(n);
        }
        return left;
    }

    std::unique_ptr<Node> parseAnd()
    {
        auto left = parseFactor();
        while (m_tok.kind == Tok::And) {
            advance();
            auto n = std::make_unique<Node>();
            n->kind = Node::And;
            n->left = std::move(left);
            n->right = parseFactor();
            left = std::move(n);
        }
        return left;
    }

    std::unique_ptr<Node> parseFactor()
    {
        if (m_tok.kind == Tok::LParen) {
            if (++m_depth > kMaxDepth)
                fail(m_tok.pos, QStringLiteral("brackets nested too deeply"));
            advance();
            auto inner = parseOr();
            --m_depth;
            if (m_tok.kind != Tok::RParen)
                fail(m_tok.pos, QStringLiteral("\")\" expected, found \"%1\"").arg(m_tok.text));
            advance();
            return inner;
        }
        if (m_tok.kind != Tok::Ident)
            fail(m_tok.pos, QStringLiteral("field name expected, found \"%1\"").arg(m_tok.text));
        const TField *f = m_table.findField(m_tok.text);
        if (!f)
            fail(m_tok.pos, QStringLiteral("unknown field \"%1\"").arg(m_tok.text));
        auto n = std::make_unique<Node>();
        n->field = f->index();
        n->valueKind = ValueKindOf(f->dataType());
        advance();
        if (m_tok.kind == Tok::In) {
            n->kind = Node::In;
            advance();
            if (m_tok.kind != Tok::LParen)
                fail(m_tok.pos, QStringLiteral("\"(\" expected, found \"%1\"").arg(m_tok.text));
            advance();
            for (;;) {
                literal(*f, *n);
                if (m_tok.kind == Tok::Comma) {
                    advance();
                    continue;
                }
                if (m_tok.kind != Tok::RParen)
                    fail(m_tok.pos, QStringLiteral("\")\" expected, found \"%1\"").arg(m_tok.text));
                advance();
                break;
            }
            return n;
        }
        if (m_tok.kind != Tok::Op)
            fail(m_tok.pos, QStringLiteral("comparison operator expected, found \"%1\"").arg(m_tok.text));
        n->kind = Node::Compare;
        n->op = m_tok.op;
        advance();
        literal(*f, *n);
        return n;
    }

    // Reads one literal into the node in the form the field compares with.
    void literal(const TField &f, Node &n)
    {
        const Token t = m_tok;
        if (t.kind != Tok::Number && t.kind != Tok::Text)
            fail(t.pos, QStringLiteral("value expected, found \"%1\"").arg(t.text));
        switch (n.valueKind) {
        case TValueKind::Text:
            n.texts.push_back(t.text);
            break;
        case TValueKind::Int:
        case TValueKind::Float: {
            double v = 0;
            bool ok = false;
            if (t.kind == Tok::Text && IsDateTimeType(f.dataType())) {
                ok = ParseDateTimeText(t.text, v);
                if (!ok && f.dataType() == TFieldType::Time) {
                    const QTime time = QTime::fromString(t.text.trimmed(), SystemFormats().longTimeFormat);
                    ok = time.isValid();
                    if (ok)
                        v = EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
                }
                if (!ok)
                    fail(t.pos, QStringLiteral("'%1' is not a valid date or time").arg(t.text));
            } else {
                QString s = t.text.trimmed();
                if (t.kind == Tok::Text)
                    s.replace(SystemFormats().decimalSeparator, QLatin1Char('.'));
                v = s.toDouble(&ok);
                if (!ok || !std::isfinite(v))
                    fail(t.pos, QStringLiteral("'%1' is not a valid number for field \"%2\"").arg(t.text, f.fieldName()));
            }
            n.numbers.push_back(v);
            break;
        }
        }
        advance();
    }

    const QString &m_expr;
    const TMemTable &m_table;
    int m_i = 0;
    int m_depth = 0;
    static constexpr int kMaxDepth = 256;
    Token m_tok;
};

template <typename T>
bool compareWith(Node::Op op, const T &a, const T &b)
{
    switch (op) {
    case Node::Eq: return a == b;
    case Node::Ne: return !(a == b);
    case Node::Lt: return a < b;
    case Node::Le: return !(b < a);
    case Node::Gt: return b < a;
    case Node::Ge: return !(a < b);
    }
    return false;
}

bool evaluate(const Node &n, const TMemTable &t, int record)
{
    switch (n.kind) {
    case Node::And: return evaluate(*n.left, t, record) && evaluate(*n.right, t, record);
    case Node::Or: return evaluate(*n.left, t, record) || evaluate(*n.right, t, record);
    case Node::Compare:
    case Node::In: break;
    }
    if (t.cellNull(n.field, record))
        return false;
    if (n.valueKind == TValueKind::Text) {
        const QString &v = t.cellText(n.field, record);
        if (n.kind == Node::In) {
            for (const QString &s : n.texts)
                if (v == s)
                    return true;
            return false;
        }
        const int c = v.compare(n.texts.front());
        return compareWith(n.op, c, 0);
    }
    const double v = n.valueKind == TValueKind::Int ? double(t.cellInt(n.field, record)) : t.cellFloat(n.field, record);
    if (n.kind == Node::In) {
        for (double d : n.numbers)
            if (v == d)
                return true;
        return false;
    }
    return compareWith(n.op, v, n.numbers.front());
}
} // namespace

TFilterExpr::TFilterExpr(std::unique_ptr<Node> root) : m_root(std::move(root)) {}
TFilterExpr::~TFilterExpr() = default;

std::unique_ptr<TFilterExpr> TFilterExpr::compile(const QString &expression, const TMemTable &table)
{
    Parser p(expression, table);
    return std::unique_ptr<TFilterExpr>(new TFilterExpr(p.parse()));
}

bool TFilterExpr::matches(const TMemTable &table, int record) const { return evaluate(*m_root, table, record); }

void AndFilter(const QString &condition, QString &expression)
{
    if (condition.isEmpty())
        return;
    if (expression.isEmpty())
        expression = QLatin1Char('(') + condition + QLatin1Char(')');
    else
        expression += QStringLiteral(" AND (") + condition + QLatin1Char(')');
}
