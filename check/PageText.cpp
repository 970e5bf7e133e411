#include "check/PageText.h"

#include "app/CodePage.h"
#include "check/CssSelector.h"

#include <QStringDecoder>

#include <gumbo.h>
#include <optional>
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

// Lines with whether they lie inside the selected part; the last line is remembered even when
// outside it, so that a body cut inside unselected text costs no selected line.
class LineCollector final
{
public:
    void text(const char* utf8, bool selected)
    {
        if (!current_.isEmpty() && selected != selected_)
            breakLine();
        current_.append(utf8);
        selected_ = selected;
    }
    void breakLine()
    {
        const QString line = QString::fromUtf8(current_).simplified();
        current_.clear();
        if (!line.isEmpty())
            lines_.push_back({line, selected_});
    }
    QStringList take(bool dropLast)
    {
        breakLine();
        if (dropLast && !lines_.empty())
            lines_.pop_back();
        QStringList out;
        out.reserve(qsizetype(lines_.size()));
        for (auto& [line, selected] : lines_)
            if (selected)
                out.append(std::move(line));
        return out;
    }

private:
    QByteArray current_;
    bool selected_ = true;
    std::vector<std::pair<QString, bool>> lines_;
};

bool keepsBreaks(GumboTag tag)
{
    return tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA || tag == GUMBO_TAG_LISTING ||
           tag == GUMBO_TAG_PLAINTEXT;
}

struct Frame {
    const GumboNode* node;
    unsigned next;
    bool selected;
    bool breaks; // inside <pre> and its kind: a line feed ends a line
};

// Walked with a stack of its own: a page of deeply nested elements must not end the program.
QStringList htmlLines(const QString& text, const CssSelector* select, bool dropLast)
{
    const QByteArray utf8 = text.toUtf8();
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    std::optional<CssSelector::Matcher> matcher;
    if (select)
        matcher.emplace(*select);
    LineCollector lines;
    std::vector<Frame> stack{{output->document, 0, !select, false}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboNode* node = frame.node;
        const GumboVector* children = nullptr;
        bool block = false;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            children = &node->v.element.children;
            block = isBlock(node->v.element.tag);
        }
        if (children && frame.next < children->length) {
            const auto* child = static_cast<const GumboNode*>(children->data[frame.next++]);
            const bool selected = frame.selected;
            const bool breaks = frame.breaks;
            switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_CDATA:
            case GUMBO_NODE_WHITESPACE:
                if (breaks) {
                    const QByteArrayView all(child->v.text.text);
                    qsizetype from = 0;
                    for (qsizetype nl; (nl = all.indexOf('\n', from)) >= 0; from = nl + 1) {
                        lines.text(all.sliced(from, nl - from).toByteArray().constData(), selected);
                        lines.breakLine();
                    }
                    lines.text(all.sliced(from).toByteArray().constData(), selected);
                } else {
                    lines.text(child->v.text.text, selected);
                }
                break;
            case GUMBO_NODE_ELEMENT: {
                const GumboTag tag = child->v.element.tag;
                if (isHidden(tag))
                    break;
                if (isBlock(tag))
                    lines.breakLine();
                // A part selected inside a selected part is no second copy.
                const bool inside = selected || (matcher && (*matcher)(child));
                stack.push_back({child, 0, inside, breaks || keepsBreaks(tag)});
                break;
            }
            default: // comments, templates
                break;
            }
            continue;
        }
        if (block || (node->type == GUMBO_NODE_ELEMENT && frame.selected && stack.size() > 1 &&
                      !stack[stack.size() - 2].selected))
            lines.breakLine();
        stack.pop_back();
    }
    gumbo_destroy_output(&options, output);
    return lines.take(dropLast);
}

QStringList plainLines(const QString& text, bool dropLast)
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
    if (dropLast && !lines.isEmpty())
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

Text Extract(QByteArrayView body, QByteArrayView contentType, const CssSelector* select)
{
    Text out;
    out.cut = body.size() >= CutBytes;
    switch (KindOf(body, contentType)) {
    case Kind::Html:
        out.lines = htmlLines(Decode(body, contentType), select, out.cut);
        break;
    case Kind::Plain:
        out.lines = plainLines(Decode(body, contentType), out.cut);
        break;
    case Kind::Binary:
        out.binary = true;
        break;
    }
    return out;
}

QStringList Lines(QByteArrayView body, QByteArrayView contentType)
{
    return Extract(body, contentType).lines;
}

} // namespace PageText
