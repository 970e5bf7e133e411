#include "check/PageText.h"

#include "app/CodePage.h"

#include <QStringDecoder>

#include <gumbo.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

constexpr qsizetype MetaScanBytes = 1024;

bool containsNoCase(QByteArrayView text, QByteArrayView word)
{
    return text.toByteArray().toLower().contains(word);
}

// The value of "charset=" in text, the first one that names a usable decoder.
QByteArray charsetIn(QByteArrayView text)
{
    const QByteArray lower = text.toByteArray().toLower();
    qsizetype at = 0;
    while ((at = lower.indexOf("charset", at)) >= 0) {
        at += 7;
        qsizetype i = at;
        while (i < lower.size() && (lower.at(i) == ' ' || lower.at(i) == '\t'))
            ++i;
        if (i >= lower.size() || lower.at(i) != '=')
            continue;
        ++i;
        while (i < lower.size() &&
               (lower.at(i) == ' ' || lower.at(i) == '"' || lower.at(i) == '\''))
            ++i;
        qsizetype end = i;
        while (end < lower.size() && (std::isalnum(uchar(lower.at(end))) ||
                                      QByteArrayView("-_.:").contains(lower.at(end))))
            ++end;
        if (end > i)
            return lower.sliced(i, end - i);
    }
    return {};
}

bool isCp932Name(const QByteArray& name)
{
    static const QList<QByteArray> names = {"shift_jis",   "shift-jis", "sjis",  "x-sjis",
                                            "windows-31j", "cp932",     "ms932", "ms_kanji",
                                            "csshiftjis",  "x-ms-cp932"};
    return names.contains(name);
}

// Decoded by the named charset; nullopt when the name is unknown here.
std::optional<QString> decodeAs(const QByteArray& name, QByteArrayView body)
{
    if (name.isEmpty())
        return std::nullopt;
    if (isCp932Name(name))
        return CodePage::FromAnsi(body);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return decoder.decode(body);
}

// The body without a multi-byte sequence cut off by the size limit.
QByteArrayView withoutCutSequence(QByteArrayView body)
{
    qsizetype end = body.size();
    for (int back = 0; back < 4 && end > 0; ++back) {
        const uchar c = uchar(body.at(end - 1));
        if (c < 0x80)
            break;
        --end;
        if (c >= 0xc0) {
            const int need = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 2;
            return body.first(back + 1 < need ? end : body.size());
        }
    }
    return body;
}

bool isValidUtf8(QByteArrayView body)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(withoutCutSequence(body)); // lazy until taken
    return !utf8.hasError();
}

bool isBlock(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_P:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_UL:
        return true;
    default:
        return false;
    }
}

bool isHidden(GumboTag tag)
{
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_NOSCRIPT ||
           tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_IFRAME;
}

class LineCollector final
{
public:
    void text(const char* utf8) { current_.append(utf8); }
    void breakLine()
    {
        const QString line = QString::fromUtf8(current_).simplified();
        current_.clear();
        if (!line.isEmpty())
            lines_.append(line);
    }
    QStringList take()
    {
        breakLine();
        return std::move(lines_);
    }

private:
    QByteArray current_;
    QStringList lines_;
};

// Walked with a stack of its own: a page of deeply nested elements must not end the program.
QStringList htmlLines(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    LineCollector lines;
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{output->document, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const GumboVector* children = nullptr;
        bool block = false;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            children = &node->v.element.children;
            block = isBlock(node->v.element.tag);
        }
        if (children && next < children->length) {
            const auto* child = static_cast<const GumboNode*>(children->data[next++]);
            switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_CDATA:
            case GUMBO_NODE_WHITESPACE:
                lines.text(child->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT:
                if (isHidden(child->v.element.tag))
                    break;
                if (isBlock(child->v.element.tag))
                    lines.breakLine();
                stack.push_back({child, 0});
                break;
            default: // comments, templates
                break;
            }
            continue;
        }
        if (block)
            lines.breakLine();
        stack.pop_back();
    }
    gumbo_destroy_output(&options, output);
    return lines.take();
}

QStringList plainLines(const QString& text)
{
    QString unified = text;
    unified.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QStringList lines = unified.split(u'\n');
    for (QString& line : lines) {
        qsizetype end = line.size();
        while (end > 0 && line.at(end - 1).isSpace())
            --end;
        line.truncate(end);
    }
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

namespace PageText
{

Kind KindOf(QByteArrayView body, QByteArrayView contentType)
{
    const QByteArray type = contentType.toByteArray().toLower().trimmed();
    if (type.isEmpty()) {
        if (body.first(std::min<qsizetype>(body.size(), MetaScanBytes)).contains('\0'))
            return Kind::Binary;
        return body.toByteArray().trimmed().startsWith('<') ? Kind::Html : Kind::Plain;
    }
    if (type.contains("html"))
        return Kind::Html;
    if (type.startsWith("text/") || type.contains("xml") || type.contains("json") ||
        type.contains("javascript"))
        return Kind::Plain;
    return Kind::Binary;
}

QString Decode(QByteArrayView body, QByteArrayView contentType)
{
    if (auto text = decodeAs(charsetIn(contentType), body))
        return *text;
    const QByteArrayView start = body.first(std::min<qsizetype>(body.size(), MetaScanBytes));
    if (containsNoCase(start, "<meta"))
        if (auto text = decodeAs(charsetIn(start), body))
            return *text;
    if (isValidUtf8(body))
        return QString::fromUtf8(withoutCutSequence(body));
    return CodePage::FromAnsi(body);
}

QStringList Lines(QByteArrayView body, QByteArrayView contentType)
{
    switch (KindOf(body, contentType)) {
    case Kind::Html:
        return htmlLines(Decode(body, contentType));
    case Kind::Plain:
        return plainLines(Decode(body, contentType));
    case Kind::Binary:
        break;
    }
    return {};
}

} // namespace PageText
