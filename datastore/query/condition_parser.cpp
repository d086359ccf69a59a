// ParseCondition: a shift-reduce parse with an explicit stack, laid out as
// the LALR(1) automaton of the condition grammar would be (one entry per
// symbol, plus the start entry), so that nesting costs the same stack room
// whatever the shape and the depth limit is a plain count of entries.
// Nothing recurses; deep text costs heap, never C stack.
#include <stdlib.h>
#include <string.h>

#include "condition_scanner.h"
#include "runtime/log.h"
#include "velmora/base_alloc.h"
#include "velmora/criteria.h"

namespace velmora::query {
namespace {

enum class Sym : uint8_t { Start, Input, Cond, Name, Value, Comparison, And, Or, LeftParen, RightParen, LineEnd };

// Trivial on purpose: the first CRITERIA_STACK_INITIAL entries live
// uninitialised on the C stack, so a typical parse allocates nothing but
// its tree.
struct Entry {
    Sym sym;
    uint8_t op;       // Comparison
    const char* text; // Name, Value: points into the caller's text
    size_t length;
    CriteriaNode* node; // Cond: owns its subtree
};

enum class Failure { None, Syntax, TooDeep, NoMemory };

class ParseStack {
public:
    ParseStack() = default;
    ParseStack(const ParseStack&) = delete;
    ParseStack& operator=(const ParseStack&) = delete;
    ~ParseStack()
    {
        for (size_t i = 0; i < size_; i++) {
            if (data_[i].sym == Sym::Cond)
                FreeCriteriaTree(data_[i].node);
        }
        if (data_ != inline_)
            free(data_);
    }

    Failure Push(Sym sym, uint8_t op = 0, const char* text = nullptr, size_t length = 0, CriteriaNode* node = nullptr)
    {
        if (size_ == capacity_) {
            Failure grown = Grow();
            if (grown != Failure::None)
                return grown;
        }
        data_[size_++] = Entry{sym, op, text, length, node};
        return Failure::None;
    }

    // The n-th entry from the top (0: the top).
    Entry& At(size_t n) { return data_[size_ - 1 - n]; }
    Sym TopSym() const { return data_[size_ - 1].sym; }
    Sym BelowTopSym() const { return data_[size_ - 2].sym; }
    void Pop(size_t n) { size_ -= n; }

private:
    Failure Grow()
    {
        if (capacity_ >= CRITERIA_STACK_LIMIT)
            return Failure::TooDeep;
        size_t capacity = capacity_ * 2 > CRITERIA_STACK_LIMIT ? CRITERIA_STACK_LIMIT : capacity_ * 2;
        Entry* data = static_cast<Entry*>(BriMalloc(capacity * sizeof(Entry)));
        if (data == nullptr)
            return Failure::NoMemory;
        memcpy(data, data_, size_ * sizeof(Entry));
        if (data_ != inline_)
            free(data_);
        data_ = data;
        capacity_ = capacity;
        return Failure::None;
    }

    Entry inline_[CRITERIA_STACK_INITIAL];
    Entry* data_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = CRITERIA_STACK_INITIAL;
};

char* CopyText(const char* text, size_t length)
{
    char* copy = static_cast<char*>(BriMalloc(length + 1));
    if (copy != nullptr) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

// "5 < x" means x > 5: the leaf always reads column op value.
uint8_t Mirror(uint8_t op)
{
    switch (op) {
    case CRITERIA_LT:
        return CRITERIA_GT;
    case CRITERIA_GT:
        return CRITERIA_LT;
    case CRITERIA_LE:
        return CRITERIA_GE;
    case CRITERIA_GE:
        return CRITERIA_LE;
    default:
        return op;
    }
}

bool StartsOperand(Token kind) { return kind == Token::Name || kind == Token::Value || kind == Token::LeftParen; }

class ConditionParser {
public:
    explicit ConditionParser(const char* text) : scanner_(text) { }
    ConditionParser(const ConditionParser&) = delete;
    ConditionParser& operator=(const ConditionParser&) = delete;
    ~ConditionParser() { FreeCriteriaTree(lastLine_); }

    CriteriaNode* Run(Failure& failure)
    {
        failure = Parse();
        if (failure != Failure::None)
            return nullptr;
        CriteriaNode* root = lastLine_;
        lastLine_ = nullptr;
        return root;
    }

private:
    Failure Parse()
    {
        Failure f = stack_.Push(Sym::Start);
        if (f == Failure::None)
            f = stack_.Push(Sym::Input); // input: empty
        Lexeme ahead = scanner_.Next();
        while (f == Failure::None) {
            if (ahead.kind == Token::Invalid)
                return Failure::Syntax;
            switch (stack_.TopSym()) {
            case Sym::Input:
                if (ahead.kind == Token::End)
                    return Failure::None;
                [[fallthrough]];
            case Sym::LeftParen:
            case Sym::And:
            case Sym::Or:
                if (!StartsOperand(ahead.kind))
                    return Failure::Syntax;
                f = Shift(ahead);
                break;
            case Sym::Name:
            case Sym::Value:
                if (ahead.kind != Token::Comparison)
                    return Failure::Syntax;
                f = Shift(ahead);
                break;
            case Sym::Comparison: {
                Token wanted = stack_.BelowTopSym() == Sym::Name ? Token::Value : Token::Name;
                if (ahead.kind != wanted)
                    return Failure::Syntax;
                f = Shift(ahead);
                if (f == Failure::None)
                    f = ReduceLeaf();
                break;
            }
            case Sym::Cond:
                f = AfterCondition(ahead);
                break;
            default:
                return Failure::Syntax;
            }
        }
        return f;
    }

    // Shifts `ahead` and reads the next token into it.
    Failure Shift(Lexeme& ahead)
    {
        static constexpr Sym kSym[] = {
            Sym::Start, Sym::Name,      Sym::Value,      Sym::Comparison, Sym::And,
            Sym::Or,    Sym::LeftParen, Sym::RightParen, Sym::LineEnd,    Sym::Start,
        };
        Failure f = stack_.Push(kSym[static_cast<int>(ahead.kind)], ahead.op, ahead.text, ahead.length);
        ahead = scanner_.Next();
        return f;
    }

    Failure AfterCondition(Lexeme& ahead)
    {
        Sym below = stack_.BelowTopSym();
        // "and" and "or" group to the right: a waiting "cond op cond" is
        // reduced only when neither follows.
        if (ahead.kind == Token::And || ahead.kind == Token::Or)
            return Shift(ahead);
        if (below == Sym::And || below == Sym::Or)
            return ReduceJoin();
        if (below == Sym::LeftParen && ahead.kind == Token::RightParen) {
            Failure f = Shift(ahead);
            if (f == Failure::None) {
                CriteriaNode* inner = stack_.At(1).node;
                stack_.Pop(3);
                f = stack_.Push(Sym::Cond, 0, nullptr, 0, inner);
            }
            return f;
        }
        if (below == Sym::Input && ahead.kind == Token::LineEnd) {
            Failure f = Shift(ahead);
            if (f == Failure::None) {
                // Only the last line's tree is kept.
                FreeCriteriaTree(lastLine_);
                lastLine_ = stack_.At(1).node;
                stack_.Pop(3);
                f = stack_.Push(Sym::Input);
            }
            return f;
        }
        return Failure::Syntax;
    }

    // name comparison value, or value comparison name.
    Failure ReduceLeaf()
    {
        const Entry& first = stack_.At(2);
        const Entry& third = stack_.At(0);
        bool nameFirst = first.sym == Sym::Name;
        const Entry& name = nameFirst ? first : third;
        const Entry& value = nameFirst ? third : first;
        uint8_t op = stack_.At(1).op;

        CriteriaNode* node = static_cast<CriteriaNode*>(BriCalloc(1, sizeof(CriteriaNode)));
        if (node == nullptr)
            return Failure::NoMemory;
        node->op = nameFirst ? op : Mirror(op);
        node->columnName = CopyText(name.text, name.length);
        node->value = node->columnName == nullptr ? nullptr : CopyText(value.text, value.length);
        if (node->value == nullptr) {
            FreeCriteriaTree(node);
            return Failure::NoMemory;
        }
        stack_.Pop(3);
        return stack_.Push(Sym::Cond, 0, nullptr, 0, node);
    }

    // condition and condition, condition or condition.
    Failure ReduceJoin()
    {
        CriteriaNode* node = static_cast<CriteriaNode*>(BriCalloc(1, sizeof(CriteriaNode)));
        if (node == nullptr)
            return Failure::NoMemory;
        node->op = stack_.At(1).sym == Sym::And ? CRITERIA_AND : CRITERIA_OR;
        node->left = stack_.At(2).node;
        node->right = stack_.At(0).node;
        node->left->parent = node;
        node->right->parent = node;
        stack_.Pop(3);
        return stack_.Push(Sym::Cond, 0, nullptr, 0, node);
    }

    ConditionScanner scanner_;
    ParseStack stack_;
    CriteriaNode* lastLine_ = nullptr;
};

} // namespace
} // namespace velmora::query

extern "C" CriteriaNode* ParseCondition(const char* text)
{
    if (text == nullptr)
        return nullptr;
    velmora::query::Failure failure;
    CriteriaNode* root = velmora::query::ConditionParser(text).Run(failure);
    if (failure == velmora::query::Failure::NoMemory)
        LogError("ParseCondition : memory allocation failed\n");
    return root;
}
