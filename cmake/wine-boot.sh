#!/bin/bash
# Starts one persistent wineserver and boots the prefix, holding no
# descriptor of whoever asked: the services Wine starts keep every
# descriptor they are given, and a reader of a pipe among them (ninja, a
# test) would then wait for ever.
for fd in /proc/$$/fd/*; do
    n=${fd##*/}
    if [ "$n" -gt 2 ]; then
        eval "exec $n>&-"
    fi
done
exec </dev/null >/dev/null 2>&1
wineserver -p
exec wineboot -i
