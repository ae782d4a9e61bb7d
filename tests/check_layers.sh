#!/bin/sh
# The folders under src are layers: a file may include headers of its own
# folder and of the folders listed for it below, nothing else. Prints every
# offending file and include, and fails when there is one.
src="${1:-$(dirname "$0")/../src}"

allowed() {
    case "$1" in
        core | io) echo "" ;;
        eval) echo "core nn" ;;
        nn | tablebase | book | pgn) echo "core io" ;;
        search) echo "core io eval nn tablebase" ;;
        tools) echo "core io eval nn tablebase book pgn search" ;;
        engine) echo "core io eval nn tablebase book pgn search tools" ;;
        *) echo "unknown" ;;
    esac
}

status=0
for dir in "$src"/*/; do
    layer=$(basename "$dir")
    ok=$(allowed "$layer")
    if [ "$ok" = unknown ]; then
        echo "src/$layer: a folder with no place in the layers; add it to tests/check_layers.sh"
        status=1
        continue
    fi
    for file in $(find "$dir" -name '*.h' -o -name '*.cpp' | sort); do
        grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | while IFS= read -r line; do
            target=$(echo "$line" | sed 's/^[^"]*"\([^"]*\)".*/\1/')
            case "$target" in */*) ;; *) continue ;; esac
            folder=${target%%/*}
            [ "$folder" = "$layer" ] && continue
            case " $ok " in *" $folder "*) continue ;; esac
            echo "${file#"$src"/}:${line%%:*}: src/$layer may not include \"$target\""
        done
    done
done > /tmp/check_layers.$$
if [ -s /tmp/check_layers.$$ ]; then
    cat /tmp/check_layers.$$
    status=1
fi
rm -f /tmp/check_layers.$$
[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
