#!/usr/bin/env bash
# Prints which folders of src/ include which (with the number of includes) and fails on an
# include that goes up or sideways: each folder may include only the folders below it.
#
#   common → model → broker, datafiles → titles → recording → tools, gui → programs
#   fix (QuickFIX, C++14, includes nothing of ours) → broker, tools, programs
#
# The libraries of src/CMakeLists.txt are linked in the same order; this holds the headers to it.
set -euo pipefail
cd "$(dirname "$0")/../src"

declare -A rank=([common]=0 [model]=1 [fix]=1 [broker]=2 [datafiles]=2 [titles]=3 [recording]=4
                 [tools]=5 [gui]=5 [programs]=6)
status=0
for folder in */; do
    folder=${folder%/}
    if [[ -z ${rank[$folder]+set} ]]; then
        echo "src/$folder: a folder the layers do not know (add it to scripts/check-layers.sh)"
        status=1
        continue
    fi
    line="$folder ->"
    while read -r count target; do
        [[ -z $target || $target == "$folder" ]] && continue
        line+=" $target ($count)"
        if [[ -z ${rank[$target]+set} || ${rank[$target]} -ge ${rank[$folder]} ]]; then
            echo "src/$folder includes src/$target, which is not below it:"
            grep -rn "#include \"$target/" "$folder" | sed 's/^/    /'
            status=1
        fi
    done < <(grep -rhoE '^#include "[a-z_]+/' "$folder" | sed -E 's/#include "([a-z_]+)\//\1/' |
             sort | uniq -c)
    echo "$line"
done
exit $status
