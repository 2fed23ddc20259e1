#!/usr/bin/env bash
# Lists the camera photographs that the benchmarks and the slow tests measure on, one path a
# line, from Debian's wallpaper packages (`bash scripts/install-deps.sh photos`).
#
#   photos.sh develop    the pictures methods may be tuned on: MATE's nature photographs
#                        (1.3 to 4 megapixels) and two of Lomiri 20.04's (16 and 20 megapixels)
#   photos.sh held-out   the pictures nothing is tuned on, only measured: Lomiri 16.04's fifteen
#                        photographs (2.9 to 15.9 megapixels); figures claimed for photographs
#                        are measured here
#   photos.sh final      kept back from all work until the final figures are taken: ten of
#                        Plasma's photographs (4 and 14.7 megapixels); nothing is developed,
#                        tuned or checked on them before
#   photos.sh all        develop and held-out
#
# A picture missing (the group not installed) is left out with a note on stderr; the exit code
# is 1 when none is present.
set -euo pipefail
root=/usr/share/backgrounds
develop=(
  mate/nature/Aqua.jpg mate/nature/Blinds.jpg mate/nature/Dune.jpg mate/nature/FreshFlower.jpg
  mate/nature/Garden.jpg mate/nature/GreenMeadow.jpg mate/nature/LadyBird.jpg mate/nature/RainDrops.jpg
  mate/nature/Storm.jpg mate/nature/TwoWings.jpg mate/nature/Wood.jpg mate/nature/YellowFlower.jpg
  Kleiber_by_Lukas_Baubkus.jpg Infinite-Sea_by_Aury88.jpg
)
held_out=(
  Bridge_by_Sander_Klootwijk.jpg Dragonfly_by_Bolly.jpg Picture_0B_by_freespace.jpg
  Picture_1A_by_freespace.jpg Wine_by_Jakkub_Mede.jpg aitzgorri_by_Aitzol_Berasategi.jpg
  analogpattern_by_Peter_Nerlich.jpg free_by_Peter_Nerlich.jpg friends_by_Aitzol_Berasategi.jpg
  greentock_by_Peter_Nerlich.jpg life_by_Aitzol_Berasategi.jpg picosdeeuropa_by_Aitzol_Berasategi.jpg
  seeding_by_Clements_Engelhardt.jpg sunset_by_Aitzol_Berasategi.jpg umang_by_Abhishek_Mudgal.jpg
)
final=(
  wallpapers/BytheWater/contents/images/2560x1600.jpg wallpapers/ColdRipple/contents/images/2560x1600.jpg
  wallpapers/DarkestHour/contents/images/2560x1600.jpg wallpapers/EveningGlow/contents/images/2560x1600.jpg
  wallpapers/FallenLeaf/contents/images/2560x1600.jpg wallpapers/Grey/contents/images/2560x1600.jpg
  wallpapers/OneStandsOut/contents/images/2560x1600.jpg wallpapers/Path/contents/images/2560x1600.jpg
  wallpapers/Volna/contents/images/5120x2880.jpg wallpapers/summer_1am/contents/images/2560x1600.jpg
)
case "${1:-}" in
  develop) set -- "${develop[@]}" ;;
  held-out) set -- "${held_out[@]}" ;;
  final) set -- "${final[@]}" ;;
  all) set -- "${develop[@]}" "${held_out[@]}" ;;
  *) echo "usage: photos.sh develop|held-out|final|all" >&2; exit 2 ;;
esac
found=0
for name in "$@"; do
  # The Plasma pictures live under /usr/share/wallpapers, the others under /usr/share/backgrounds.
  path="$root/$name"
  case "$name" in wallpapers/*) path="/usr/share/$name" ;; esac
  if [ -f "$path" ]; then
    echo "$path"
    found=$((found + 1))
  else
    echo "photos.sh: $path is missing (bash scripts/install-deps.sh photos)" >&2
  fi
done
[ "$found" -gt 0 ]
