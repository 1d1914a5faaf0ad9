# Sourced by the main-window tests: a private X server and home with a window manager where
# installed, the test hook, two games an earlier run left in the catalogue, and Lumo started
# on them. Sets $window, $X, $Y, $app_dir, $lumo and $have_wm; defines log and wait_ask.
program_dir=$1 tools=$2 screenshots=$3
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"
start_sandbox
start_xvfb
mkdir -p "$screenshots"
export WEBKIT_DISABLE_COMPOSITING_MODE=1
# A window manager, where installed, makes maximising real.
if command -v openbox >/dev/null; then
  start_window_manager || fail "no window manager"
  have_wm=1
else
  echo "openbox not installed: maximising is checked without a window manager"
  have_wm=0
fi
source "$(dirname "${BASH_SOURCE[0]}")/hook.sh"
quit_on_close
app_dir=$XDG_DATA_HOME/lum
log() { cat "$app_dir"/log/lum-*.log; }
# wait_ask SECONDS WHAT PATTERN COMMAND...: until the hook's reply to COMMAND matches.
wait_ask() {
  local deadline=$((SECONDS + $1)) what=$2 pattern=$3 reply
  shift 3
  until reply=$(ask "$@") && [[ $reply == $pattern ]]; do
    [ $SECONDS -ge $deadline ] && fail "$what: got '$reply', expected '$pattern'"
    sleep 0.1
  done
}

mkdir -p "$app_dir/data"
convert -size 96x96 xc:'#ff7a45' -fill white -draw 'circle 48,48 48,20' "$SANDBOX/icon1.png"
convert -size 96x96 xc:'#2bb673' -fill white -draw 'rectangle 28,28 68,68' "$SANDBOX/icon2.png"
sqlite3 "$app_dir/data/data.db" <<SQL
Create Table AppList (packageName varchar(255), appName varchar(255), imageUrl varchar(2048),
  imagePath varchar(255), status int, detailUrl varchar(2048), apkUrl varchar(2048),
  localPath varchar(255), launchActivity varchar(255), downloadPos int default 0,
  PRIMARY KEY(packageName));
INSERT INTO AppList VALUES('com.example.gems', '宝石消消乐', '', '$SANDBOX/icon1.png', 6,
  'about:blank', '', '', '', 0);
INSERT INTO AppList VALUES('com.example.racer', '极速赛车', '', '$SANDBOX/icon2.png', 3,
  'about:blank', '', '', '', 0);
SQL

"$program_dir/lumo" >"$SANDBOX/lumo.out" 2>&1 &
lumo=$!
PIDS_TO_KILL+=($lumo)
window=$(lumo_window 60 --onlyvisible) || fail "no main window titled Lumo"
xprop -id "$window" WM_CLASS | grep -q '"MainFrame", "MainFrame"' || fail "class"
wait_until 30 grep -q "test hook reading" "$app_dir"/log/lum-*.log || fail "no test hook"
expect "window" "$(ask window MainFrame)" "open 170 90 1260 720 maximized=0"
eval "$(xdotool getwindowgeometry --shell "$window")"
