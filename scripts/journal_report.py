"""One day's gate journal as a self-contained HTML page: exits per hour,
the totals, and the tabs scanned more than once."""

import collections
import csv
import datetime
import html
import io
import os
import sys

HEADER = ["time", "outcome", "barcode", "event", "file"]
GATE = ["released", "blocked", "not registered", "other event"]
CHARTED = ["released", "blocked", "not registered"]
COMMANDS = ["command applied", "command file refused"]
COLOURS = {"released": "#2e9e3e", "blocked": "#d23c3c", "not registered": "#9a9a9a"}


def read_rows(path):
    with open(path, "rb") as stream:
        raw = stream.read()
    # A kill while a line was written leaves it without its line break; the
    # program cuts it off before it writes again, and so does the report.
    torn = not raw.endswith(b"\n") and raw != b""
    if torn:
        raw = raw[: raw.rfind(b"\n") + 1]
    rows = list(csv.reader(io.StringIO(raw.decode("utf-8"), newline="")))
    if not rows or rows[0] != HEADER:
        raise SystemExit(f"{path}: not a gate journal (its first line is not {','.join(HEADER)})")
    for number, row in enumerate(rows[1:], start=2):
        if len(row) != len(HEADER) or row[1] not in GATE + COMMANDS:
            raise SystemExit(f"{path}: record {number} is not a journal line: {row!r}")
    return [dict(zip(HEADER, row)) for row in rows[1:]], torn


def chart(per_hour):
    width, height, top, bottom, left = 760, 260, 10, 30, 34
    plot = height - top - bottom
    most = max([sum(hour.values()) for hour in per_hour] + [1])
    slot = (width - left) / 24
    bar = slot / 4
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" role="img" '
             f'aria-label="Exits per hour">']
    for tick in sorted({0, most // 2, most}):
        y = top + plot - plot * tick / most
        parts.append(f'<line x1="{left}" x2="{width}" y1="{y:.1f}" y2="{y:.1f}" stroke="#ddd"/>'
                     f'<text x="{left - 4}" y="{y + 4:.1f}" text-anchor="end">{tick}</text>')
    for hour, counts in enumerate(per_hour):
        x = left + hour * slot + bar / 2
        for index, outcome in enumerate(CHARTED):
            value = counts.get(outcome, 0)
            h = plot * value / most
            parts.append(f'<rect x="{x + index * bar:.1f}" y="{top + plot - h:.1f}" width="{bar:.1f}" '
                         f'height="{h:.1f}" fill="{COLOURS[outcome]}"><title>{hour:02d}h {outcome}: {value}'
                         f'</title></rect>')
        parts.append(f'<text x="{x + 1.5 * bar:.1f}" y="{height - 12}" text-anchor="middle">{hour:02d}</text>')
    parts.append("</svg>")
    return "".join(parts)


def page(day, rows, torn):
    gate = [row for row in rows if row["outcome"] in GATE]
    totals = collections.Counter(row["outcome"] for row in rows)
    per_hour = [collections.Counter() for _ in range(24)]
    for row in gate:
        per_hour[int(row["time"][11:13])][row["outcome"]] += 1
    # The gate finds a tab without regard to case, so the report groups so too.
    scans = collections.defaultdict(list)
    for row in gate:
        scans[row["barcode"].upper()].append(row)
    repeated = sorted((rows_ for rows_ in scans.values() if len(rows_) > 1), key=lambda r: r[0]["time"])

    e = html.escape
    out = [f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Gate journal {e(day)}</title>
<style>
body {{ font-family: sans-serif; margin: 24px; color: #222; }}
table {{ border-collapse: collapse; margin-bottom: 24px; }}
th, td {{ border: 1px solid #ccc; padding: 4px 10px; text-align: left; }}
td.count {{ text-align: right; }}
svg text {{ font-size: 11px; fill: #444; }}
.legend span {{ display: inline-block; width: 12px; height: 12px; margin: 0 4px 0 16px; vertical-align: middle; }}
.note {{ color: #a33; }}
</style></head><body>
<h1>Gate journal {e(day)}</h1>
<h2>Exits per hour</h2>
<div class="legend">{''.join(f'<span style="background:{COLOURS[o]}"></span>{e(o)}' for o in CHARTED)}</div>
{chart(per_hour)}
<h2>Totals</h2>
<table id="totals"><tr><th>What happened</th><th>Lines</th></tr>"""]
    for outcome in GATE + COMMANDS:
        slug = outcome.replace(" ", "-")
        out.append(f'<tr><td>{e(outcome)}</td><td class="count" id="total-{slug}">{totals.get(outcome, 0)}</td></tr>')
    out.append(f'<tr><th>gate decisions</th><th class="count" id="total-gate">{len(gate)}</th></tr></table>')
    out.append(f'<h2>Tabs scanned more than once</h2><table id="repeated">'
               f'<tr><th>Tab</th><th>Scans</th><th>When and what</th></tr>')
    for scans_of_tab in repeated:
        detail = "<br>".join(f"{e(row['time'][11:])} {e(row['outcome'])}" for row in scans_of_tab)
        out.append(f"<tr><td>{e(scans_of_tab[0]['barcode'])}</td><td class=\"count\">{len(scans_of_tab)}</td>"
                   f"<td>{detail}</td></tr>")
    if not repeated:
        out.append('<tr><td colspan="3">none</td></tr>')
    out.append("</table>")
    if torn:
        out.append('<p class="note">The last line was torn by a stop while it was written and is left out.</p>')
    out.append("</body></html>\n")
    return "\n".join(out)


def main():
    day, folder = sys.argv[1], sys.argv[2]
    try:
        datetime.date.fromisoformat(day)
    except ValueError:
        raise SystemExit(f"{day}: not a day (write it as 2026-12-10)")
    path = os.path.join(folder, f"{day}.csv")
    if not os.path.isfile(path):
        raise SystemExit(f"{path}: no journal for that day")
    rows, torn = read_rows(path)
    sys.stdout.write(page(day, rows, torn))


if __name__ == "__main__":
    main()
