#pragma once
// A small CSS selector matcher over Gumbo's tree: type, *, #id, .class, [attr], [attr=value],
// the descendant and child combinators, and comma lists. Enough to say "only this part of the
// page"; pseudo-classes and the sibling combinators are refused with a reason.
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <unordered_map>

struct GumboInternalNode;

class CssSelector final
{
public:
    // nullopt when text is not a selector this matcher knows; error then holds the reason.
    static std::optional<CssSelector> Parse(const QString& text, QString* error = nullptr);
    bool Matches(const GumboInternalNode* element) const;

    // Matches elements of one tree, remembering what it found on the way up: a page walk asks
    // for every element, so each (element, step) pair is decided once whatever the nesting.
    class Matcher final
    {
    public:
        explicit Matcher(const CssSelector& selector) : selector_(selector) {}
        bool operator()(const GumboInternalNode* element);

    private:
        bool matches(qsizetype alt, qsizetype at, const GumboInternalNode* element);
        bool underMatch(qsizetype alt, qsizetype at, const GumboInternalNode* element);
        struct Key {
            const void* node;
            qsizetype slot;
            bool operator==(const Key&) const = default;
        };
        struct KeyHash {
            size_t operator()(const Key& k) const noexcept
            {
                return std::hash<const void*>()(k.node) ^ (size_t(k.slot) * 0x9e3779b97f4a7c15ULL);
            }
        };
        const CssSelector& selector_;
        std::unordered_map<Key, bool, KeyHash> matched_;
        std::unordered_map<Key, bool, KeyHash> under_;
    };

private:
    struct Attribute {
        QByteArray name;
        std::optional<QByteArray> value;
    };
    struct Compound {
        QByteArray type; // lower case; empty for any element
        QList<QByteArray> ids;
        QList<QByteArray> classes;
        QList<Attribute> attributes;
        bool childOfPrevious = false; // '>' before it, else descendant
    };
    using Complex = QList<Compound>; // left to right
    static bool matchesCompound(const Compound& c, const GumboInternalNode* element);

    QList<Complex> alternatives_;
    QList<qsizetype> firstSlot_; // of each alternative in the matcher's tables
};
