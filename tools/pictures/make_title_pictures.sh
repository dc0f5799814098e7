#!/usr/bin/env bash
# Makes the four title pictures the organiser carries inside the program
# (pictures/default/*.jpg): a soft horizontal colour wash per page with the
# page's title drawn at the left, proportioned for the 390 x 50 picture box.
# The outputs are committed; the build only embeds them. Needs ImageMagick 6
# (convert) and the CJK font of fonts-noto-cjk.
#   tools/pictures/make_title_pictures.sh [OUT_DIR]   (default pictures/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:-pictures/default}

command -v convert >/dev/null || { echo "make_title_pictures: convert missing (imagemagick)" >&2; exit 1; }
command -v fc-match >/dev/null || { echo "make_title_pictures: fc-match missing (fontconfig)" >&2; exit 1; }
# The bold Simplified Chinese face of the collection; ImageMagick knows the
# faces of a .ttc by the names fontconfig gives them, so the name picks the
# face and the file check only makes sure the font is there.
font_file=$(fc-match -f '%{file}' 'Noto Sans CJK SC:bold')
font=Noto-Sans-CJK-SC-Bold
case "$font_file" in
  *NotoSansCJK*) ;;
  *) echo "make_title_pictures: Noto Sans CJK SC missing (fonts-noto-cjk)" >&2; exit 1 ;;
esac
fonts=$(convert -list font)
grep -q "Font: $font\$" <<<"$fonts" || {
  echo "make_title_pictures: ImageMagick does not list $font" >&2; exit 1; }

mkdir -p "$out"

# picture FILE WIDTH HEIGHT TITLE LEFT_COLOUR RIGHT_COLOUR INK_COLOUR ACCENT_COLOUR
# The wash runs from LEFT_COLOUR to RIGHT_COLOUR, three faint ACCENT_COLOUR
# discs sit at the right, the title and a bar before it are in INK_COLOUR.
# tests/pictures/default_pictures_test.cc knows the sizes and left colours.
picture() {
  local file=$1 w=$2 h=$3 title=$4 left=$5 right=$6 ink=$7 accent=$8
  local size=$((h * 52 / 100))        # glyph size: about half the height
  local bar_x=$((h * 22 / 100)) bar_w=$((h * 6 / 100 > 2 ? h * 6 / 100 : 2))
  local bar_top=$((h * 26 / 100)) bar_bottom=$((h * 74 / 100))
  local x=$((bar_x + bar_w + h * 18 / 100))   # left edge of the title
  local r1=$((h * 80 / 100)) r2=$((h * 45 / 100)) r3=$((h * 28 / 100))
  convert -respect-parentheses -size "${w}x${h}" -define gradient:direction=east "gradient:${left}-${right}" \
    \( -size "${w}x${h}" xc:none -fill "${accent}" \
       -draw "circle $((w - h * 95 / 100)),$((h * 15 / 100)) $((w - h * 95 / 100 + r1)),$((h * 15 / 100))" \
       -draw "circle $((w - h * 22 / 10)),$((h * 85 / 100)) $((w - h * 22 / 10 + r2)),$((h * 85 / 100))" \
       -draw "circle $((w - h * 33 / 10)),$((h * 30 / 100)) $((w - h * 33 / 10 + r3)),$((h * 30 / 100))" \
       -channel A -evaluate multiply 0.35 +channel -blur 0x1 \) -composite \
    \( -size "${w}x${h}" xc:none -font "$font" -pointsize "$size" -gravity west \
       -fill 'rgba(255,255,255,0.9)' -stroke 'rgba(255,255,255,0.9)' -strokewidth 3 \
       -annotate "+${x}+0" "$title" -blur 0x3 \) -composite \
    -font "$font" -pointsize "$size" -gravity west -fill "$ink" -annotate "+${x}+0" "$title" \
    -gravity northwest -fill "$ink" \
    -draw "roundrectangle ${bar_x},${bar_top} $((bar_x + bar_w)),${bar_bottom} 1,1" \
    -strip -sampling-factor 2x2 -interlace none -quality 85 "jpg:$out/$file"
}

picture jr.jpg  1024 137 今日     '#f6b99a' '#fff4ea' '#8a3b1c' '#ffffff'
picture zl.jpg  1024 130 数据总览 '#9cc6ec' '#eef6fd' '#1d4a78' '#ffffff'
picture bq.jpg   705  89 备忘便签 '#f3d779' '#fffbe6' '#7a5a08' '#ffffff'
picture lxr.jpg  631  90 联系人   '#a6dcb8' '#effaf2' '#1f5e38' '#ffffff'

for f in jr zl bq lxr; do
  printf '%s %s bytes\n' "$out/$f.jpg" "$(stat -c %s "$out/$f.jpg")"
done
