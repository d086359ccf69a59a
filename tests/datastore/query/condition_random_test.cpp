// Random condition texts against a small reference parser written straight
// from the language's rules (recursive, so only for shallow texts), plus
// the invariants every parsed tree must keep.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tree_text.h"
#include "velmora/criteria.h"

namespace {

class Reference {
public:
    // The printed tree of the last line, or "null".
    static std::string Parse(const std::string& text)
    {
        Reference r(text);
        std::string last = "null";
        while (r.Peek().kind != Kind::End) {
            std::optional<std::string> line = r.Condition();
            if (!line || r.Take().kind != Kind::LineEnd)
                return "null";
            last = *line;
        }
        return r.bad_ ? "null" : last;
    }

private:
    enum class Kind { Name, Value, Comparison, And, Or, Open, Close, LineEnd, End, Bad };
    struct Token {
        Kind kind;
        std::string text;
    };

    explicit Reference(const std::string& text)
    {
        size_t i = 0;
        auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
        while (i < text.size() && text[i] != '\0') {
            char c = text[i];
            size_t start = i;
            if (c == ' ' || c == '\t') {
                i++;
                continue;
            }
            Kind kind = Kind::Bad;
            if (digit(c)) {
                while (digit(at(i)))
                    i++;
                if (at(i) == '.' && digit(at(i + 1))) {
                    i++;
                    while (digit(at(i)))
                        i++;
                }
                kind = Kind::Value;
            } else if (letter(c)) {
                while (letter(at(i)) || digit(at(i)) || at(i) == '_')
                    i++;
                std::string word = text.substr(start, i - start);
                kind = word == "and" ? Kind::And : word == "or" ? Kind::Or : Kind::Name;
            } else if (c == '\'') {
                size_t close = text.find('\'', i + 1);
                size_t nul = text.find('\0', i + 1);
                if (close == std::string::npos || close > nul)
                    break;
                i = close + 1;
                kind = Kind::Value;
            } else {
                for (const char* op : {"<=", ">=", "!=", "<", ">", "="}) {
                    if (text.compare(i, strlen(op), op) == 0) {
                        i += strlen(op);
                        kind = Kind::Comparison;
                        break;
                    }
                }
                if (kind == Kind::Bad) {
                    kind = c == '(' ? Kind::Open : c == ')' ? Kind::Close : c == '\n' ? Kind::LineEnd : Kind::Bad;
                    i++;
                }
            }
            if (kind == Kind::Bad)
                break;
            tokens_.push_back({kind, text.substr(start, i - start)});
        }
        bad_ = i < text.size() && text[i] != '\0';
    }

    const Token& Peek() const { return next_ < tokens_.size() ? tokens_[next_] : end_; }
    const Token& Take() { return next_ < tokens_.size() ? tokens_[next_++] : end_; }

    // condition: primary [ (and | or) condition ]
    std::optional<std::string> Condition()
    {
        std::optional<std::string> left = Primary();
        if (!left)
            return std::nullopt;
        Kind k = Peek().kind;
        if (k != Kind::And && k != Kind::Or)
            return left;
        Take();
        std::optional<std::string> right = Condition();
        if (!right)
            return std::nullopt;
        return "(" + *left + (k == Kind::And ? " and " : " or ") + *right + ")";
    }

    std::optional<std::string> Primary()
    {
        Token first = Take();
        if (first.kind == Kind::Open) {
            std::optional<std::string> inner = Condition();
            if (!inner || Take().kind != Kind::Close)
                return std::nullopt;
            return inner;
        }
        Token op = Take();
        Token last = Take();
        if (op.kind != Kind::Comparison)
            return std::nullopt;
        if (first.kind == Kind::Name && last.kind == Kind::Value)
            return first.text + " " + op.text + " " + last.text;
        if (first.kind == Kind::Value && last.kind == Kind::Name) {
            std::string mirrored = op.text;
            if (mirrored[0] == '<')
                mirrored[0] = '>';
            else if (mirrored[0] == '>')
                mirrored[0] = '<';
            return last.text + " " + mirrored + " " + first.text;
        }
        return std::nullopt;
    }

    std::vector<Token> tokens_;
    size_t next_ = 0;
    bool bad_ = false;
    Token end_{Kind::End, ""};
};

struct Check {
    const CriteriaNode* root;
    std::string problem;
};

int CheckNode(const CriteriaNode* node, void* context)
{
    Check& check = *static_cast<Check*>(context);
    bool join = node->op == CRITERIA_AND || node->op == CRITERIA_OR;
    if (node->columnIndex != 0 || node->columnType != 0)
        check.problem = "column fields set";
    else if (join && (node->columnName || node->value || !node->left || !node->right))
        check.problem = "bad inner node";
    else if (join && (node->left->parent != node || node->right->parent != node))
        check.problem = "bad parent link";
    else if (!join &&
             (node->op < CRITERIA_LT || node->op > CRITERIA_NE || !node->columnName || !node->value || node->left ||
              node->right))
        check.problem = "bad leaf";
    else if (node == check.root && node->parent != nullptr)
        check.problem = "root has a parent";
    return check.problem.empty() ? 1 : 0;
}

class TextGenerator {
public:
    explicit TextGenerator(unsigned seed) : rng_(seed) { }

    std::string Next()
    {
        std::string text = Pick(4) == 0 ? Soup() : Lines();
        int mutations = Pick(3) == 0 ? 1 + Pick(3) : 0;
        for (int i = 0; i < mutations && !text.empty(); i++) {
            size_t at = Pick(text.size());
            switch (Pick(4)) {
            case 0:
                text.erase(at, 1);
                break;
            case 1:
                text.insert(at, Fragment());
                break;
            case 2:
                text[at] = static_cast<char>(Pick(256));
                break;
            default:
                text.resize(at);
                break;
            }
        }
        return text;
    }

private:
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    template <size_t N> const char* OneOf(const char* const (&items)[N]) { return items[Pick(N)]; }

    std::string Blank() { return OneOf({"", " ", " ", "\t", "  "}); }
    std::string Name() { return OneOf({"x", "id", "Name", "AND", "OR", "andy", "or_1", "q7", "LIKE"}); }
    std::string Value() { return OneOf({"5", "0", "12.5", "007", "''", "'a b'", "'x=1 and y'", "'\n'"}); }
    std::string Cmp() { return OneOf({"<", ">", "<=", ">=", "=", "!=", "==", "<>"}); }

    std::string Condition(int depth)
    {
        size_t kind = depth > 4 ? 0 : Pick(5);
        if (kind <= 1) {
            return Pick(4) == 0 ? Value() + Blank() + Cmp() + Blank() + Name()
                                : Name() + Blank() + Cmp() + Blank() + Value();
        }
        if (kind == 2)
            return "(" + Blank() + Condition(depth + 1) + Blank() + ")";
        // Keywords need a blank or a parenthesis next to them.
        return Condition(depth + 1) + " " + (Pick(2) ? "and" : "or") + " " + Condition(depth + 1);
    }

    std::string Lines()
    {
        std::string text;
        for (size_t n = 1 + Pick(2); n > 0; n--)
            text += Blank() + Condition(0) + Blank() + "\n";
        return text;
    }

    std::string Fragment()
    {
        return OneOf({"x",  "AND", "and", "or", "5",  "1.", ".5",   "12.5", "'",  "''", "'q'",
                      "(",  ")",   "<",   "<=", "=",  "!=", "!",    ">",    ">=", "\n", " ",
                      "\t", "-",   ".",   "*",  "\r", "\"", "\x80", "_",    "?"});
    }

    std::string Soup()
    {
        std::string text;
        for (size_t n = Pick(16); n > 0; n--)
            text += Fragment() + (Pick(2) ? " " : "");
        return text;
    }

    std::mt19937 rng_;
};

TEST(ConditionRandom, AgreesWithTheReferenceAndKeepsTreesWellFormed)
{
    TextGenerator generator(20240611);
    int accepted = 0;
    const int kTexts = 20000;
    for (int i = 0; i < kTexts; i++) {
        std::string text = generator.Next();
        std::string expected = Reference::Parse(text);
        CriteriaNode* root = ParseCondition(text.c_str());
        std::string got = "null";
        if (root != nullptr) {
            accepted++;
            Check check{root, ""};
            WalkCriteriaTree(root, CheckNode, &check);
            EXPECT_EQ(check.problem, "") << text;
            char* printed = ToStringCriteriaTree(root);
            got = printed;
            free(printed);
            // The printed form parses back into the same tree.
            EXPECT_EQ(Parsed(got + "\n"), got) << text;
            FreeCriteriaTree(root);
        }
        ASSERT_EQ(got, expected) << "text: [" << text << "]";
    }
    // The generator must reach both outcomes often.
    EXPECT_GT(accepted, kTexts / 5);
    EXPECT_LT(accepted, kTexts * 4 / 5);
}

TEST(ConditionRandom, ParsesRunSideBySideOnSeveralThreads)
{
    TextGenerator generator(7);
    std::vector<std::string> texts, expected;
    for (int i = 0; i < 400; i++) {
        texts.push_back(generator.Next());
        expected.push_back(Reference::Parse(texts.back()));
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; round++) {
                for (size_t i = 0; i < texts.size(); i++)
                    mismatches[t] +=
                        Parsed(texts[(i + t * 97) % texts.size()]) != expected[(i + t * 97) % texts.size()];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
