#!/usr/bin/env bash
# Takes the screenshots under docs/ from an installed program folder: a check run against
# pages served on 127.0.0.1, the Setting pane, the options dialog, an item's rules dialog, and
# the change view's context menu on a page whose visit counter moved, and the change view of a
# page whose real line changed while an Ignore rule hides its counter.
# Needs xvfb, openbox, xdotool, imagemagick and fonts-noto-cjk. Usage: take-screenshots.sh [build dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
work="$(mktemp -d)"
trap 'kill "${server_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/SiteVigil" >/dev/null
mkdir -p "$root/docs"

# Pages without a Last-modified header, so that their size decides.
cat > "$work/pages.py" <<'PY'
import http.server, sys
PAGES = {
    "/news": "<html><body>" + "お知らせ" * 300 + "</body></html>",
    "/weather": "x" * 500,
    "/blog": "<html><body>" + "新しい記事です。" * 200 + "</body></html>",
    "/bbs": "書き込み" * 120,
    "/photo": "y" * 800,
}
visits = {"/counter": 0, "/notice": 0}
def counter_page(path):
    visits[path] += 1
    # The notice page's real news changes after its first visit; the counter moves on both.
    sunday = "第3日曜日" if path == "/notice" and visits[path] > 1 else "第2日曜日"
    return ("<html><body><h1>町内会のお知らせ</h1>"
            f"<p>12月の清掃は{sunday}です。</p>"
            "<p>集合は朝9時、公民館の前です。</p>"
            f"<p>あなたは 1,{233 + visits[path]} 人目の訪問者です。</p>"
            "<p>更新日: 2026年12月8日</p></body></html>")
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path in visits:
            data = counter_page(self.path).encode("cp932")
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=Shift_JIS")
            self.send_header("Last-Modified", f"Tue, 08 Dec 2026 09:{visits[self.path]:02d}:00 GMT")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        body = PAGES.get(self.path)
        if body is None:
            self.send_error(404)
            return
        data = body.encode("cp932")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=Shift_JIS")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
PY
python3 "$work/pages.py" "$work/port" &
server_pid=$!
for _ in $(seq 1 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# Item files as the program writes them: CP932, CRLF. Three of the five pages changed.
python3 - "$work/SiteVigil/URLs" "$port" <<'PY'
import os, sys
folder, port = sys.argv[1], sys.argv[2]
items = [("SiteVigil ニュース", "/news", "900", 10), ("天気予報", "/weather", "500", 0),
         ("技術ブログ", "/blog", "1500", 5), ("掲示板", "/bbs", "エラー:接続できませんでした", 0),
         ("写真日記", "/photo", "800", 0)]
rules = {"/news": "[SiteVigil.Filter]\r\nSelect=div#news > ul li\r\nIgnore=\\d+ 人が閲覧中\r\n"
                  "Ignore=最終更新: \\d{4}/\\d{2}/\\d{2}\r\n"}
for title, path, info, err in items:
    text = (f"[InternetShortcut]\r\nURL=http://127.0.0.1:{port}{path}\r\n\r\n"
            f"{rules.get(path, '')}[SiteVigil]\r\n"
            f"Err={err}\r\nInfo={info}\r\nCheck2Byte=0\r\n")
    with open(os.path.join(folder, title + ".url"), "wb") as f:
        f.write(text.encode("cp932"))
# A folder of its own for the counter page, checked twice: the first Save keeps the page.
counter = os.path.join(os.path.dirname(folder), "URLs2")
os.makedirs(counter, exist_ok=True)
text = (f"[InternetShortcut]\r\nURL=http://127.0.0.1:{port}/counter\r\n\r\n"
        "[SiteVigil]\r\nErr=0\r\nInfo=Mon, 07 Dec 2026 09:00:00 GMT\r\nCheck2Byte=0\r\n")
with open(os.path.join(counter, "町内会のお知らせ.url"), "wb") as f:
    f.write(text.encode("cp932"))
# The same page with its counter ignored, whose cleaning day changes after the first Save.
ignored = os.path.join(os.path.dirname(folder), "URLs3")
os.makedirs(ignored, exist_ok=True)
text = (f"[InternetShortcut]\r\nURL=http://127.0.0.1:{port}/notice\r\n\r\n"
        "[SiteVigil.Filter]\r\nIgnore=[\\d,]+ 人目\r\n\r\n"
        "[SiteVigil]\r\nErr=0\r\nInfo=Mon, 07 Dec 2026 09:00:00 GMT\r\nCheck2Byte=0\r\n")
with open(os.path.join(ignored, "町内会のお知らせ.url"), "wb") as f:
    f.write(text.encode("cp932"))
PY

cat > "$work/drive.sh" <<'SH'
#!/usr/bin/env bash
set -u
prog="$1"; docs="$2"
wait_for() { # window title
    for _ in $(seq 1 100); do
        found=$(xdotool search --name "$1" 2>/dev/null | head -1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}
openbox >/dev/null 2>&1 &
sleep 1
(cd "$prog" && ./SiteVigil) >/dev/null 2>&1 &
app=$!
id=$(wait_for "更新されているページがあります") || { echo "no results window" >&2; exit 1; }
sleep 0.5
xdotool mousemove --window "$id" 60 100 click 1
sleep 0.5
import -frame -window "$id" "$docs/check-pane.png"

xdotool mousemove --window "$id" 100 18 click 1   # the Setting tab
sleep 0.8
xdotool mousemove --window "$id" 60 100 click 1
sleep 0.5
import -frame -window "$id" "$docs/setting-pane.png"

xdotool mousemove --window "$id" 60 100 click 3   # the first item's context menu
sleep 0.8
xdotool key r                                     # 判定ルール(&R)...
dialog=$(wait_for "判定ルール") || { echo "no rules dialog" >&2; exit 1; }
sleep 0.8
import -frame -window "$dialog" "$docs/filter-dialog.png"
xdotool key Escape
sleep 0.5

printf '[Option]\r\nExitAfterSave=1\r\nFolderPath=/home/taro/Documents/SiteVigil/URLs/\r\n' \
    > "$prog/SiteVigil.ini"
xdotool mousemove --window "$id" 330 80 click 1   # オプション設定
dialog=$(wait_for "オプション設定") || { echo "no options dialog" >&2; exit 1; }
sleep 0.8
import -frame -window "$dialog" "$docs/options.png"
xdotool key Escape
sleep 0.3
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# Two runs over the item folder $1: the first's Save keeps the pages, the second lists their
# change and stays open (app, id: its process and window).
second_run() {
    printf '[Option]\r\nExitAfterSave=1\r\nFolderPath=%s/%s/\r\n' "$prog" "$1" > "$prog/SiteVigil.ini"
    (cd "$prog" && ./SiteVigil) >/dev/null 2>&1 &
    app=$!
    id=$(wait_for "更新されているページがあります") || { echo "no first run of $1" >&2; exit 1; }
    sleep 0.5
    xdotool mousemove --window "$id" 35 60 click 1     # 保存
    wait "$app" 2>/dev/null
    (cd "$prog" && ./SiteVigil) >/dev/null 2>&1 &
    app=$!
    id=$(wait_for "更新されているページがあります") || { echo "no second run of $1" >&2; exit 1; }
    xdotool windowsize "$id" 640 460                   # the view's lines unwrapped
}

# The counter page: the second run lists the counter's change.
second_run URLs2
sleep 0.5
xdotool mousemove --window "$id" 60 100 click 1
sleep 0.3
xdotool key --delay 80 alt+d ctrl+End Up Home       # 変更点(&D): the added counter line
# past "+あなたは", then "1,235 人目" (under Xvfb the first shift+Right only presses Shift)
xdotool key --delay 80 Right Right Right Right Right shift+Right
xdotool key --delay 80 shift+Right shift+Right shift+Right shift+Right shift+Right shift+Right \
    shift+Right shift+Right
sleep 0.3
xdotool key Menu
sleep 0.8
import -window root "$prog/menu-root.png"
convert "$prog/menu-root.png" -trim +repage "$docs/ignore-menu.png"
rm -f "$prog/menu-root.png"
xdotool key Escape
sleep 0.3
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null

# The notice page with its counter ignored: the second run shows only the changed day.
second_run URLs3
sleep 0.5
xdotool mousemove --window "$id" 60 100 click 1
sleep 0.5
import -frame -window "$id" "$docs/change-ignored.png"
kill "$app" 2>/dev/null
SH
chmod +x "$work/drive.sh"
# Kept pages of these runs go to the throw-away folder, not to the user's own store.
XDG_DATA_HOME="$work/data" xvfb-run -a -s '-screen 0 1280x1024x24' "$work/drive.sh" \
    "$work/SiteVigil" "$root/docs"
echo "Screenshots written to $root/docs"
