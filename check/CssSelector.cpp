#include "check/CssSelector.h"

#include <gumbo.h>

using namespace Qt::StringLiterals;

namespace
{

constexpr qsizetype MaxLength = 1024;
constexpr qsizetype MaxSteps = 32; // compounds of one chain: the matcher recurses that deep

class Reader final
{
public:
    explicit Reader(const QString& text) : text_(text) {}
    bool atEnd() const { return at_ >= text_.size(); }
    QChar peek() const { return atEnd() ? QChar() : text_.at(at_); }
    void skip() { ++at_; }
    qsizetype position() const { return at_; }
    bool skipBlanks()
    {
        const qsizetype from = at_;
        while (!atEnd() && isBlank(peek()))
            ++at_;
        return at_ > from;
    }
    static bool isBlank(QChar c)
    {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
    }
    static bool isNameChar(QChar c)
    {
        return c.isLetterOrNumber() || c == u'-' || c == u'_' || c.unicode() >= 0x80;
    }
    // An identifier, a backslash escaping the next character; empty when there is none.
    QString name()
    {
        QString out;
        while (!atEnd()) {
            const QChar c = peek();
            if (c == u'\\' && at_ + 1 < text_.size()) {
                out.append(text_.at(at_ + 1));
                at_ += 2;
            } else if (isNameChar(c)) {
                out.append(c);
                ++at_;
            } else {
                break;
            }
        }
        return out;
    }
    // A quoted string after its opening quote; nullopt when it is not closed.
    std::optional<QString> quoted(QChar quote)
    {
        QString out;
        while (!atEnd()) {
            const QChar c = peek();
            ++at_;
            if (c == quote)
                return out;
            if (c == u'\\' && !atEnd()) {
                out.append(peek());
                ++at_;
            } else {
                out.append(c);
            }
        }
        return std::nullopt;
    }

private:
    const QString& text_;
    qsizetype at_ = 0;
};

QByteArray elementName(const GumboNode* node)
{
    const GumboElement& e = node->v.element;
    if (e.tag != GUMBO_TAG_UNKNOWN)
        return QByteArray(gumbo_normalized_tagname(e.tag));
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    return QByteArray(piece.data, qsizetype(piece.length)).toLower();
}

const char* attributeValue(const GumboNode* node, const QByteArray& name)
{
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name.constData());
    return a ? a->value : nullptr;
}

bool hasClass(const char* list, const QByteArray& cls)
{
    const QByteArrayView all(list);
    qsizetype i = 0;
    while (i < all.size()) {
        while (i < all.size() && Reader::isBlank(QLatin1Char(all.at(i))))
            ++i;
        qsizetype end = i;
        while (end < all.size() && !Reader::isBlank(QLatin1Char(all.at(end))))
            ++end;
        if (end > i && all.sliced(i, end - i) == cls)
            return true;
        i = end;
    }
    return false;
}

const GumboNode* parentElement(const GumboNode* node)
{
    const GumboNode* p = node->parent;
    return p && p->type == GUMBO_NODE_ELEMENT ? p : nullptr;
}

} // namespace

std::optional<CssSelector> CssSelector::Parse(const QString& text, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<CssSelector> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (text.size() > MaxLength)
        return fail(u"セレクタが長すぎます。"_s);
    Reader in(text);
    auto at = [&] { return u"%1文字目"_s.arg(in.position() + 1); };
    CssSelector out;
    in.skipBlanks();
    if (in.atEnd())
        return fail(u"セレクタが空です。"_s);
    Complex complex;
    bool child = false;
    for (;;) {
        Compound c;
        c.childOfPrevious = child;
        bool any = false;
        if (in.peek() == u'*') {
            in.skip();
            any = true;
        } else if (Reader::isNameChar(in.peek()) || in.peek() == u'\\') {
            c.type = in.name().toUtf8().toLower();
            any = true;
        }
        for (;;) {
            const QChar k = in.peek();
            if (k == u'#' || k == u'.') {
                in.skip();
                const QByteArray n = in.name().toUtf8();
                if (n.isEmpty())
                    return fail(u"%1: %2 の後に名前がありません。"_s.arg(at(), k));
                (k == u'#' ? c.ids : c.classes).append(n);
            } else if (k == u'[') {
                in.skip();
                in.skipBlanks();
                Attribute a;
                a.name = in.name().toUtf8().toLower();
                if (a.name.isEmpty())
                    return fail(u"%1: [ の後に属性名がありません。"_s.arg(at()));
                in.skipBlanks();
                if (in.peek() == u'=') {
                    in.skip();
                    in.skipBlanks();
                    const QChar q = in.peek();
                    if (q == u'"' || q == u'\'') {
                        in.skip();
                        const auto v = in.quoted(q);
                        if (!v)
                            return fail(u"引用符が閉じていません。"_s);
                        a.value = v->toUtf8();
                    } else {
                        const QString v = in.name();
                        if (v.isEmpty())
                            return fail(u"%1: = の後に値がありません。"_s.arg(at()));
                        a.value = v.toUtf8();
                    }
                    in.skipBlanks();
                }
                if (in.peek() != u']')
                    return fail(
                        u"%1: ] がありません(対応するのは [属性] と [属性=値] です)。"_s.arg(at()));
                in.skip();
                c.attributes.append(a);
            } else {
                break;
            }
            any = true;
        }
        if (!any) {
            if (in.atEnd())
                return fail(u"セレクタが途中で終わっています。"_s);
            const QChar k = in.peek();
            if (k == u':' || k == u'+' || k == u'~')
                return fail(u"%1: 「%2」には対応していません。"_s.arg(at(), k));
            return fail(u"%1: 「%2」は解釈できません。"_s.arg(at(), k));
        }
        complex.append(c);
        if (complex.size() > MaxSteps)
            return fail(u"セレクタが長すぎます。"_s);
        const bool blank = in.skipBlanks();
        child = false;
        if (in.atEnd() || in.peek() == u',') {
            out.firstSlot_.append(out.firstSlot_.isEmpty()
                                      ? 0
                                      : out.firstSlot_.constLast() +
                                            out.alternatives_.constLast().size());
            out.alternatives_.append(complex);
            complex.clear();
            if (in.atEnd())
                break;
            in.skip();
            in.skipBlanks();
            if (in.atEnd() || in.peek() == u',')
                return fail(u"%1: , の前後が空です。"_s.arg(at()));
            continue;
        }
        if (in.peek() == u'>') {
            in.skip();
            in.skipBlanks();
            child = true;
        } else if (!blank) {
            const QChar k = in.peek();
            if (k == u':' || k == u'+' || k == u'~')
                return fail(u"%1: 「%2」には対応していません。"_s.arg(at(), k));
            return fail(u"%1: 「%2」は解釈できません。"_s.arg(at(), k));
        }
    }
    return out;
}

bool CssSelector::matchesCompound(const Compound& c, const GumboNode* element)
{
    if (!c.type.isEmpty() && elementName(element) != c.type)
        return false;
    for (const QByteArray& id : c.ids) {
        const char* v = attributeValue(element, "id"_ba);
        if (!v || id != v)
            return false;
    }
    if (!c.classes.isEmpty()) {
        const char* list = attributeValue(element, "class"_ba);
        if (!list)
            return false;
        for (const QByteArray& cls : c.classes)
            if (!hasClass(list, cls))
                return false;
    }
    for (const Attribute& a : c.attributes) {
        const char* v = attributeValue(element, a.name);
        if (!v || (a.value && *a.value != v))
            return false;
    }
    return true;
}

bool CssSelector::Matcher::matches(qsizetype alt, qsizetype at, const GumboNode* element)
{
    const Key key{element, selector_.firstSlot_.at(alt) + at};
    if (auto it = matched_.find(key); it != matched_.end())
        return it->second;
    const Complex& chain = selector_.alternatives_.at(alt);
    bool yes = matchesCompound(chain.at(at), element);
    if (yes && at > 0) {
        const GumboNode* up = parentElement(element);
        yes = up && (chain.at(at).childOfPrevious ? matches(alt, at - 1, up)
                                                  : underMatch(alt, at - 1, up));
    }
    matched_.emplace(key, yes);
    return yes;
}

// Whether element or one of its ancestors matches step at; walked up without recursion and
// remembered for every element passed.
bool CssSelector::Matcher::underMatch(qsizetype alt, qsizetype at, const GumboNode* element)
{
    const qsizetype slot = selector_.firstSlot_.at(alt) + at;
    std::vector<const GumboNode*> passed;
    bool yes = false;
    for (const GumboNode* up = element; up; up = parentElement(up)) {
        if (auto it = under_.find({up, slot}); it != under_.end()) {
            yes = it->second;
            break;
        }
        passed.push_back(up);
        if (matches(alt, at, up)) {
            yes = true;
            break;
        }
    }
    for (const GumboNode* node : passed)
        under_.emplace(Key{node, slot}, yes);
    return yes;
}

bool CssSelector::Matcher::operator()(const GumboNode* element)
{
    if (!element || element->type != GUMBO_NODE_ELEMENT)
        return false;
    for (qsizetype alt = 0; alt < selector_.alternatives_.size(); ++alt)
        if (matches(alt, selector_.alternatives_.at(alt).size() - 1, element))
            return true;
    return false;
}

bool CssSelector::Matches(const GumboNode* element) const
{
    return Matcher(*this)(element);
}
