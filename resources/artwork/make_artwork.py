#!/usr/bin/env python3
"""Writes Belvora's own pictures as flat SVG files into resources/svg.

Every picture is made here of simple shapes in the palette's colours; the
build embeds the SVG files and renders the PNG variants from them (see
resources/resources.txt). Run it again after changing a drawing and commit
the files it writes."""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "svg")

# Palette colours the pictures use.
TEXT = "#42545E"
SLATE = "#4B5F6E"
STEEL = "#406A80"
ACCENT = "#086DA6"
SKY = "#27A1DB"
TOOL = "#788791"
PALE = "#DAE1D5"
GOLD = "#EDCE83"
ROSE = "#C86464"
ORANGE = "#DF4526"
GREEN = "#8CC77B"
LIGHT = "#EAEEF0"
BACK = "#DAE1E6"
GREY = "#939598"
WHITE = "#FFFFFF"
BADGE = "#FFC837"


def fmt(v):
    return ("%.2f" % v).rstrip("0").rstrip(".")


def svg(width, height, body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%s" height="%s" viewBox="0 0 %s %s">\n%s</svg>\n'
            % (fmt(width), fmt(height), fmt(width), fmt(height), body))


def path(d, fill="none", stroke=None, width=None, extra=""):
    s = '  <path d="%s" fill="%s"' % (d, fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%s" stroke-linecap="round" stroke-linejoin="round"' % (stroke, fmt(width))
    return s + extra + "/>\n"


def rect(x, y, w, h, fill="none", stroke=None, width=None, r=0):
    s = '  <rect x="%s" y="%s" width="%s" height="%s"' % (fmt(x), fmt(y), fmt(w), fmt(h))
    if r:
        s += ' rx="%s" ry="%s"' % (fmt(r), fmt(r))
    s += ' fill="%s"' % fill
    if stroke:
        s += ' stroke="%s" stroke-width="%s"' % (stroke, fmt(width))
    return s + "/>\n"


def circle(cx, cy, r, fill="none", stroke=None, width=None):
    s = '  <circle cx="%s" cy="%s" r="%s" fill="%s"' % (fmt(cx), fmt(cy), fmt(r), fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%s"' % (stroke, fmt(width))
    return s + "/>\n"


def poly(points, fill):
    return '  <polygon points="%s" fill="%s"/>\n' % (" ".join("%s,%s" % (fmt(x), fmt(y)) for x, y in points), fill)


# ---------------------------------------------------------------------------
# Toolbar icons: 34 x 25 units, slate strokes with blue arrows.

def t_line(d, colour=SLATE, w=1.6):
    return path(d, stroke=colour, width=w)


def t_arrow_down(x, y1, y2, colour=ACCENT):
    return (t_line("M%s,%s V%s" % (fmt(x), fmt(y1), fmt(y2 - 1)), colour, 1.8)
            + poly([(x - 3.2, y2 - 3.5), (x + 3.2, y2 - 3.5), (x, y2 + 0.5)], colour))


def t_arrow_up(x, y1, y2, colour=ACCENT):
    return (t_line("M%s,%s V%s" % (fmt(x), fmt(y1), fmt(y2 + 1)), colour, 1.8)
            + poly([(x - 3.2, y2 + 3.5), (x + 3.2, y2 + 3.5), (x, y2 - 0.5)], colour))


def t_arrow_right(x1, x2, y, colour=ACCENT):
    return (t_line("M%s,%s H%s" % (fmt(x1), fmt(y), fmt(x2 - 1)), colour, 1.8)
            + poly([(x2 - 3.5, y - 3.2), (x2 - 3.5, y + 3.2), (x2 + 0.5, y)], colour))


def t_tray(colour=SLATE):
    return t_line("M6,15 V21 H28 V15", colour, 1.8)


def t_unit(x=9, y=3, w=16, h=10):
    return (rect(x, y, w, h, fill=LIGHT, stroke=SLATE, width=1.4, r=2)
            + circle(x + w * 0.3, y + h * 0.5, 2.0, fill=SLATE)
            + circle(x + w * 0.7, y + h * 0.5, 2.0, fill=SLATE))


def t_cells(x, y, cols, rows, size, gap, colour=SLATE, marked=()):
    out = ""
    for r in range(rows):
        for c in range(cols):
            fill = ACCENT if (c, r) in marked else LIGHT
            out += rect(x + c * (size + gap), y + r * (size + gap), size, size, fill=fill, stroke=colour, width=1.0, r=0.8)
    return out


def t_box(x=8, y=9, w=18, h=13, colour=SLATE):
    return (rect(x, y, w, h, fill=LIGHT, stroke=colour, width=1.5, r=1)
            + rect(x - 1.5, y - 4, w + 3, 4, fill=colour, r=0.8)
            + t_line("M%s,%s H%s" % (fmt(x + w / 2 - 3), fmt(y + 4), fmt(x + w / 2 + 3)), colour, 1.6))


def t_cross(cx, cy, s=3.5, colour=ROSE):
    return t_line("M%s,%s L%s,%s M%s,%s L%s,%s" % (fmt(cx - s), fmt(cy - s), fmt(cx + s), fmt(cy + s),
                                                    fmt(cx + s), fmt(cy - s), fmt(cx - s), fmt(cy + s)), colour, 2.2)


def t_plus(cx, cy, s=3.5, colour=ACCENT):
    return t_line("M%s,%s H%s M%s,%s V%s" % (fmt(cx - s), fmt(cy), fmt(cx + s), fmt(cx), fmt(cy - s), fmt(cy + s)), colour, 2.2)


def t_user(cx, cy, s=1.0, colour=SLATE):
    return (circle(cx, cy - 3.5 * s, 3.2 * s, fill=colour)
            + path("M%s,%s Q%s,%s %s,%s Q%s,%s %s,%s Z" % (fmt(cx - 6 * s), fmt(cy + 6 * s), fmt(cx - 6 * s), fmt(cy + 0.5 * s),
                                                         fmt(cx), fmt(cy + 0.5 * s), fmt(cx + 6 * s), fmt(cy + 0.5 * s),
                                                         fmt(cx + 6 * s), fmt(cy + 6 * s)), fill=colour))


def t_folder(x=7, y=6, w=20, h=14, colour=SLATE):
    return path("M%s,%s H%s L%s,%s H%s V%s H%s Z" % (fmt(x), fmt(y), fmt(x + 7), fmt(x + 9), fmt(y + 2.5), fmt(x + w),
                                                   fmt(y + h), fmt(x)), fill=LIGHT, stroke=colour, width=1.5)


def t_doc(x, y, w=12, h=16, colour=SLATE, fill=LIGHT):
    return path("M%s,%s H%s L%s,%s V%s H%s Z" % (fmt(x), fmt(y), fmt(x + w - 4), fmt(x + w), fmt(y + 4), fmt(y + h), fmt(x)),
                fill=fill, stroke=colour, width=1.4)


def t_cloud(cx, cy, s=1.0, colour=SLATE, fill=LIGHT):
    return path("M%s,%s H%s A%s,%s 0 0 0 %s,%s A%s,%s 0 0 0 %s,%s A%s,%s 0 0 0 %s,%s Z"
                % (fmt(cx - 9 * s), fmt(cy + 5 * s), fmt(cx + 9 * s),
                   fmt(4.5 * s), fmt(4.5 * s), fmt(cx + 7 * s), fmt(cy - 3.5 * s),
                   fmt(6 * s), fmt(6 * s), fmt(cx - 5 * s), fmt(cy - 3 * s),
                   fmt(4 * s), fmt(4 * s), fmt(cx - 9 * s), fmt(cy + 5 * s)),
                fill=fill, stroke=colour, width=1.4)


def t_sliders(colour=SLATE):
    out = ""
    for i, knob in enumerate((13, 20, 10)):
        x = 10 + i * 7
        out += t_line("M%s,4 V21" % x, colour, 1.4)
        out += rect(x - 2.5, knob - 1.8, 5, 3.6, fill=ACCENT, r=0.8)
    return out


def t_magnifier(cx, cy, r=6, colour=SLATE):
    d = r * 0.7071
    return (circle(cx, cy, r, fill=LIGHT, stroke=colour, width=2)
            + t_line("M%s,%s L%s,%s" % (fmt(cx + d), fmt(cy + d), fmt(cx + d + 5.5), fmt(cy + d + 5.5)), colour, 3))


def t_curved(left):
    # Half a turn with an arrow head: undo points left, redo right.
    if left:
        return (t_line("M11,9 H21 A6,6 0 0 1 21,21 H13", SLATE, 1.8)
                + poly([(12.5, 4.5), (12.5, 13.5), (6.5, 9)], ACCENT))
    return (t_line("M23,9 H13 A6,6 0 0 0 13,21 H21", SLATE, 1.8)
            + poly([(21.5, 4.5), (21.5, 13.5), (27.5, 9)], ACCENT))


def toolbar(body):
    return svg(34, 25, body)


TOOLBAR = {
    "toolbar_sync": t_unit() + t_line("M5,12 A12,8 0 0 0 29,12", ACCENT, 1.6)
                    + poly([(26, 9), (31.5, 10.5), (27.5, 15)], ACCENT) + t_line("M8,21 H26", SLATE, 1.6),
    "toolbar_get_data": t_unit(9, 1, 16, 9) + t_arrow_down(17, 11, 19) + t_tray(),
    "toolbar_apply_changes": t_cells(4, 6, 2, 2, 5, 1.5, marked={(0, 0), (1, 1)}) + t_arrow_right(17, 22, 12) + t_unit(23, 7, 10, 10),
    "toolbar_send_setup": t_sliders() + t_arrow_up(28, 20, 5),
    "toolbar_send_selected": t_cells(3, 6, 2, 2, 5, 1.5, marked={(1, 0)}) + t_arrow_right(16, 22, 12) + t_unit(23, 7, 10, 10),
    "toolbar_delete_backup": t_box(6, 10, 16, 11) + t_cross(26, 8),
    "toolbar_backup_all": t_box() + t_arrow_down(17, 1, 11, ACCENT) + t_cells(26, 3, 1, 3, 4, 1.2, marked={(0, 0), (0, 1), (0, 2)}),
    "toolbar_backup_user": t_box(10, 10, 18, 12) + t_user(7, 7, 0.7, ACCENT),
    "toolbar_backup_selected": t_box(12, 10, 18, 12) + t_cells(2, 2, 2, 2, 4, 1.2, marked={(0, 0)}),
    "toolbar_optimize_space": t_cells(4, 4, 5, 1, 4, 1.3, marked={(0, 0), (1, 0)}) + t_cells(4, 15, 5, 1, 4, 1.3, marked={(0, 0), (1, 0), (2, 0)})
                              + poly([(24, 9.5), (30, 9.5), (27, 13.5)], ACCENT),
    "toolbar_find_preset": t_cells(3, 4, 2, 2, 5, 1.5) + t_magnifier(21, 11),
    "toolbar_view_cells": "".join(rect(6, 3 + i * 5, 22, 3.6, fill=LIGHT if i % 2 else ACCENT, stroke=SLATE, width=1.0, r=0.8) for i in range(4)),
    "toolbar_view_icons": t_cells(6, 2, 3, 3, 6, 1.4, marked={(1, 1)}),
    "toolbar_delete_setup": t_sliders() + t_cross(28, 8),
    "toolbar_new_group": t_folder() + t_plus(25, 17),
    "toolbar_group_selected": t_folder() + t_cells(11, 11, 2, 1, 4, 1.5, marked={(0, 0), (1, 0)}),
    "toolbar_duplicate_selected": t_doc(8, 3, 13, 16, fill=LIGHT) + t_doc(14, 7, 13, 16, fill=WHITE) + t_plus(20.5, 15.5, 2.5),
    "toolbar_select_user": t_cells(4, 4, 3, 3, 4.5, 1.3, marked={(0, 0), (1, 0), (2, 0), (0, 1)}) + t_user(26, 12, 0.8, ACCENT),
    "toolbar_delete_presets": t_cells(4, 5, 2, 2, 6, 1.5) + t_cross(24, 12, 4.5),
    "toolbar_cut": circle(12, 18, 3.5, stroke=SLATE, width=1.6) + circle(22, 18, 3.5, stroke=SLATE, width=1.6)
                   + t_line("M14.5,15.5 L24,2 M19.5,15.5 L10,2", SLATE, 1.6),
    "toolbar_copy": t_doc(8, 2, 13, 16) + t_doc(14, 7, 13, 16, fill=WHITE),
    "toolbar_paste": rect(9, 4, 16, 19, fill=LIGHT, stroke=SLATE, width=1.4, r=1.5) + rect(13, 2, 8, 4, fill=SLATE, r=1)
                     + t_doc(15, 9, 11, 13, ACCENT, WHITE),
    "toolbar_undo": t_curved(True),
    "toolbar_redo": t_curved(False),
    "toolbar_export": t_doc(6, 4, 14, 18) + t_arrow_right(14, 30, 13),
    "toolbar_import": t_doc(16, 4, 14, 18) + t_arrow_right(3, 20, 13),
    "toolbar_account_download": t_cloud(17, 9, 1.0) + t_arrow_down(17, 11, 23),
    "toolbar_account_upload": t_cloud(17, 9, 1.0) + t_arrow_up(17, 23, 11),
    "toolbar_scan": t_unit(5, 7, 16, 10) + t_line("M24,7 A7,7 0 0 1 24,17 M27,4 A11,11 0 0 1 27,20", ACCENT, 1.6),
    "toolbar_disconnect": t_line("M3,12.5 H11 M23,12.5 H31", SLATE, 1.8) + rect(10, 7.5, 5, 10, fill=SLATE, r=1)
                          + rect(19, 7.5, 5, 10, fill=SLATE, r=1) + t_line("M15,9.5 H17 M15,15.5 H17", SLATE, 1.4)
                          + t_line("M16,3 L18,22", ROSE, 1.8),
    "toolbar_info": circle(17, 12.5, 10, fill=ACCENT) + rect(15.6, 10.5, 2.8, 8.5, fill=WHITE, r=1) + circle(17, 7, 1.7, fill=WHITE),
    "toolbar_update": t_unit(9, 12, 16, 10) + t_arrow_down(17, 1, 11, ACCENT),
    "toolbar_custom_firmware": t_doc(6, 3, 14, 19) + t_line("M9,9 H16 M9,12.5 H16 M9,16 H14", SLATE, 1.2)
                               + circle(25, 15, 5.5, fill=ACCENT) + circle(25, 15, 2, fill=WHITE),
}

# The large sync arrow of the data page: an arrow into a tray.
SYNC_ARROW = toolbar(path("M13,2 H21 V11 H26 L17,20 L8,11 H13 Z", fill=TOOL)
                     + path("M3,15 V23 H31 V15", stroke=TOOL, width=2.4))


# ---------------------------------------------------------------------------
# Status bar icons: 128 units wide, light on the dark status bar.

def status_connected(connected):
    colour = GOLD if connected else PALE
    body = (rect(14, 30, 100, 66, fill="none", stroke=colour, width=8, r=12)
            + circle(44, 63, 12, fill=colour) + circle(84, 63, 12, fill=colour)
            + rect(50, 96, 28, 16, fill=colour))
    if not connected:
        body += path("M18,16 L110,112", stroke=ROSE, width=10)
    return svg(128, 126, body)


def status_midi(kind):
    # Idle: two dim arrows; out lights the right one, in the left one.
    left = GOLD if kind == "in" else "#6B8796"
    right = GOLD if kind == "out" else "#6B8796"
    return svg(128, 36, poly([(4, 18), (28, 4), (28, 12), (58, 12), (58, 24), (28, 24), (28, 32)], left)
               + poly([(124, 18), (100, 4), (100, 12), (70, 12), (70, 24), (100, 24), (100, 32)], right))


def status_net(active, variant):
    colour = GOLD if active else "#6B8796"
    bars = ""
    for i in range(6):
        h = 8 + ((i * 7 + variant * 11) % 22)
        bars += rect(6 + i * 20, 34 - h, 14, h, fill=colour, r=2)
    return svg(128, 36, bars)


STATUS_OFFLINE = svg(128, 89, t_cloud(64, 44, 5.0, PALE, "none").replace('stroke-width="1.4"', 'stroke-width="7"')
                     + path("M24,10 L104,84", stroke=ROSE, width=9))


# ---------------------------------------------------------------------------
# The content component's icon buttons: 128 x 108, on the light tab bar.

def gear(cx, cy, r_out, r_in, teeth, colour):
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4)
        r = r_out if (i % 4) in (0, 1) else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return poly(pts, colour) + circle(cx, cy, r_in * 0.45, fill=BACK)


ICON_BUTTONS = {
    "developer": svg(128, 108, path("M44,18 L10,54 L44,90", stroke=TEXT, width=13)
                     + path("M84,18 L118,54 L84,90", stroke=TEXT, width=13)
                     + path("M72,10 L56,98", stroke=ACCENT, width=11)),
    "options": svg(128, 108, gear(64, 54, 50, 38, 8, TEXT)),
    "help": svg(128, 108, circle(64, 54, 50, fill=TEXT)
                + path("M46,42 A18,17 0 1 1 72,57 Q64,62 64,70 V72", stroke=WHITE, width=11)
                + circle(64, 87, 7, fill=WHITE)),
}


# ---------------------------------------------------------------------------
# Look-and-feel glyphs.

ALERT_QUESTION = svg(207, 300, path("M30,92 A73,70 0 1 1 132,160 Q104,180 104,214 V226", stroke="#708DBA", width=44)
                     + circle(104, 272, 26, fill="#708DBA"))
ALERT_WARNING = svg(88, 300, path("M14,10 H74 L64,208 H24 Z", fill="#BA756F") + circle(44, 262, 30, fill="#BA756F"))
ALERT_INFO = svg(94, 300, circle(47, 36, 30, fill="#8CC77B") + rect(17, 96, 60, 196, fill="#8CC77B", r=8))
TICK = svg(10, 10, path("M0.5,5.5 L3.5,8.8 L9.5,0.8 L8.2,0 L3.4,6.3 L1.5,4.2 Z", fill="#373B3E"))

# Squares in the lower-right triangle of a 4 x 4 grid.
RESIZE_GRIP = svg(512, 512, "".join(rect(24 + 128 * c, 24 + 128 * r, 80, 80, fill=TOOL)
                                    for r in range(4) for c in range(4) if r + c >= 3))


def window_button(kind):
    if kind == "minimise":
        body = rect(1, 7, 8, 2, fill=TEXT)
    elif kind == "maximise":
        body = rect(1.5, 1.5, 7, 7, stroke=TEXT, width=1.6) + rect(1, 1, 8, 2, fill=TEXT)
    else:
        body = path("M1.5,1.5 L8.5,8.5 M8.5,1.5 L1.5,8.5", stroke=TEXT, width=1.8)
    return svg(10, 10, body)


# ---------------------------------------------------------------------------
# The wordmark: the product's name in plain strokes, 173.2 x 11.

def letter(ch, x, w):
    top, bottom, mid = 1.0, 10.0, 5.5
    X = lambda v: fmt(x + v)
    if ch == "B":
        return "M%s,%s V%s H%s Q%s,%s %s,7.75 Q%s,%s %s,%s H%s M%s,%s H%s Q%s,%s %s,3.25 Q%s,%s %s,%s" % (
            X(0), top, bottom, X(w - 4), X(w), bottom, X(w), X(w), mid, X(w - 4), mid, X(0),
            X(0), top, X(w - 5), X(w - 1), top, X(w - 1), X(w - 1), mid, X(w - 5), mid)
    if ch == "E":
        return "M%s,%s H%s V%s H%s M%s,%s H%s" % (X(w), top, X(0), bottom, X(w), X(0), mid, X(w - 3))
    if ch == "L":
        return "M%s,%s V%s H%s" % (X(0), top, bottom, X(w))
    if ch == "V":
        return "M%s,%s L%s,%s L%s,%s" % (X(0), top, X(w / 2), bottom, X(w), top)
    if ch == "O":
        return "M%s,%s A%s,4.5 0 1 0 %s,%s A%s,4.5 0 1 0 %s,%s" % (X(0), mid, fmt(w / 2), X(w), mid, fmt(w / 2), X(0), mid)
    if ch == "R":
        return "M%s,%s V%s H%s Q%s,%s %s,3.25 Q%s,%s %s,%s H%s M%s,%s L%s,%s" % (
            X(0), bottom, top, X(w - 4), X(w), top, X(w), X(w), mid, X(w - 4), mid, X(0), X(w - 5), mid, X(w), bottom)
    if ch == "A":
        return "M%s,%s L%s,%s L%s,%s M%s,7 H%s" % (X(0), bottom, X(w / 2), top, X(w), bottom, X(w * 0.22), X(w * 0.78))
    if ch == "2":
        return "M%s,3.2 Q%s,%s %s,%s Q%s,%s %s,3.6 Q%s,5.6 %s,%s L%s,%s H%s" % (
            X(0.3), X(0.6), top, X(w / 2), top, X(w), top, X(w), X(w), X(w / 2), 6.2, X(0), bottom, X(w))
    raise ValueError(ch)


def wordmark():
    body, x = "", 0.9
    for ch in "BELVORA":
        body += path(letter(ch, x, 15.4), stroke=GREY, width=1.8)
        x += 15.4 + 5.6
    body += path(letter("2", x + 3.0, 9.0), stroke=SKY, width=1.8)
    return svg(173.2, 11, body)


# ---------------------------------------------------------------------------
# Pictures: application icon, artwork of archives, packs, units and people.

APP_ICON = svg(128, 128, rect(4, 4, 120, 120, fill=ACCENT, r=26)
               + path("M22,70 Q34,30 46,64 T70,64 T94,64 T106,58", stroke=WHITE, width=10)
               + rect(22, 92, 84, 10, fill=GOLD, r=5))

ARCHIVE_DEFAULT = svg(100, 100, rect(14, 34, 72, 54, fill=LIGHT, stroke=STEEL, width=4, r=4)
                      + rect(8, 18, 84, 18, fill=STEEL, r=4) + rect(38, 48, 24, 8, fill=STEEL, r=3))


def unit_picture(w, h, body_colour, face):
    return svg(w, h, rect(w * 0.06, h * 0.2, w * 0.88, h * 0.6, fill=body_colour, r=h * 0.08)
               + rect(w * 0.12, h * 0.28, w * 0.3, h * 0.22, fill=face, r=h * 0.03)
               + circle(w * 0.6, h * 0.5, h * 0.13, fill=LIGHT) + circle(w * 0.8, h * 0.5, h * 0.13, fill=LIGHT)
               + circle(w * 0.6, h * 0.5, h * 0.05, fill=body_colour) + circle(w * 0.8, h * 0.5, h * 0.05, fill=body_colour)
               + "".join(rect(w * 0.14 + i * w * 0.07, h * 0.62, w * 0.04, h * 0.08, fill=face, r=1) for i in range(4)))


def state_icon(kind):
    colours = {"connected": GREEN, "idle": "#B2C0CA", "unavailable": "#80919C", "error": ORANGE,
               "busy": GOLD, "question": "#708DBA", "connection_lost": ROSE}
    c = colours[kind]
    body = rect(1, 1, 39, 19, fill=c, r=9.5)
    if kind == "connected":
        body += path("M12,10.5 L18,15.5 L28,5", stroke=WHITE, width=3)
    elif kind == "idle":
        body += circle(20.5, 10.5, 4, fill=WHITE)
    elif kind == "unavailable":
        body += rect(11, 9, 19, 3.5, fill=WHITE, r=1.5)
    elif kind == "error":
        body += rect(19, 3.5, 3.5, 9, fill=WHITE, r=1.5) + circle(20.75, 15.5, 2, fill=WHITE)
    elif kind == "busy":
        body += circle(12, 10.5, 2.4, fill=WHITE) + circle(20.5, 10.5, 2.4, fill=WHITE) + circle(29, 10.5, 2.4, fill=WHITE)
    elif kind == "question":
        body += path("M16.5,7.5 A4,3.6 0 1 1 21,11 V12.5", stroke=WHITE, width=2.6) + circle(21, 16, 1.6, fill=WHITE)
    else:
        body += path("M11,10.5 H17 M24,10.5 H30 M19,5 L22,16", stroke=WHITE, width=2.6)
    return svg(41, 21, body)


UPDATE_BADGE = svg(102, 80, rect(4, 4, 94, 72, fill=BADGE, stroke=STEEL, width=5, r=14)
                   + rect(33, 52, 36, 14, fill=STEEL, r=3) + rect(40, 47, 6, 6, fill=STEEL) + rect(56, 47, 6, 6, fill=STEEL)
                   + path("M44,12 H58 V28 H67 L51,44 L35,28 H44 Z", fill=STEEL))


def preset_tile(face, mark=None):
    body = rect(8, 8, 240, 144, fill=face, r=14) + rect(8, 8, 240, 40, fill="#FFFFFF", r=14).replace('fill="#FFFFFF"', 'fill="#FFFFFF" fill-opacity="0.25"')
    body += "".join(rect(46 + i * 36, 110 - h, 26, h, fill="#FFFFFF", r=4).replace('fill="#FFFFFF"', 'fill="#FFFFFF" fill-opacity="0.55"')
                    for i, h in enumerate((30, 48, 22, 40, 34)))
    if mark:
        body += circle(222, 34, 14, fill=mark)
    return svg(256, 160, body)


def user_picture(face, shirt, background):
    return svg(256, 256, rect(0, 0, 256, 256, fill=background, r=36) + circle(128, 100, 48, fill=face)
               + path("M44,236 Q44,160 128,160 Q212,160 212,236 Z", fill=shirt))


def pack_icon(body_colour, shape):
    return svg(256, 256, rect(12, 12, 232, 232, fill=body_colour, r=40) + shape)


def star(cx, cy, r_out, r_in, colour):
    pts = []
    for i in range(10):
        a = -math.pi / 2 + math.pi * i / 5
        r = r_out if i % 2 == 0 else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return poly(pts, colour)


SYNC_BUTTON = svg(218, 218, circle(109, 109, 100, fill=LIGHT, stroke=TOOL, width=8)
                  + path("M95,38 H123 V98 H148 L109,142 L70,98 H95 Z", fill=TOOL)
                  + path("M52,128 V170 H166 V128", stroke=TOOL, width=12))

ABOUT_LOGO = svg(335, 282, rect(0, 0, 335, 282, fill=BACK)
                 + rect(117, 30, 100, 100, fill=ACCENT, r=22)
                 + path("M134,86 Q144,52 154,82 T174,82 T194,82 T202,76", stroke=WHITE, width=8)
                 + rect(134, 104, 68, 8, fill=GOLD, r=4)
                 + wordmark().split("\n", 2)[2].rsplit("</svg>", 1)[0].replace("<path", '<path transform="translate(36,170) scale(1.518)"'))

REPLACE_PROMPT = svg(199, 297, rect(0, 0, 199, 297, fill=BACK)
                     + t_doc(30, 40, 90, 120, STEEL, LIGHT).replace('stroke-width="1.4"', 'stroke-width="5"')
                     + t_doc(80, 120, 90, 120, ACCENT, WHITE).replace('stroke-width="1.4"', 'stroke-width="5"')
                     + path("M60,210 A40,40 0 0 1 60,150", stroke=ACCENT, width=8)
                     + poly([(44, 152), (76, 152), (60, 130)], ACCENT))


# ---------------------------------------------------------------------------
# Source tree and search icons, 100 x 100.

def tree(body):
    return svg(100, 100, body)


def big(snippet, scale=3.0, dx=0, dy=0):
    return '  <g transform="translate(%s,%s) scale(%s)">\n%s  </g>\n' % (fmt(dx), fmt(dy), fmt(scale), snippet)


TREE = {
    "tree_device": tree(big(t_unit(1, 5, 31, 20), 3.0, 0.5, 5)),
    "tree_unknown_data": tree(big(t_doc(9, 3, 16, 20), 4.0, -18, -6) + path("M40,48 A10,9 0 1 1 52,58 V63", stroke=ACCENT, width=6)
                              + circle(52, 74, 3.5, fill=ACCENT)),
    "backups": tree(big(t_box(8, 9, 18, 13), 3.6, -11, -10)),
    "tree_folder": tree(big(t_folder(), 4.0, -18, -24)),
    "tree_upload_folder": tree(big(t_folder(), 4.0, -18, -24) + big(t_arrow_up(17, 19, 10), 2.2, 13, 8)),
    "tree_following": tree(big(t_user(12, 12, 1.0, SLATE) + t_user(24, 13, 0.8, ACCENT), 3.2, -6, 8)),
    "cloud": tree(big(t_cloud(17, 12, 1.0), 4.2, -21, -8)),
    "search_magnifier": tree(big(t_magnifier(13, 11, 8), 4.0, -6, -6)),
    "search_tag": tree(path("M12,12 H52 L90,50 L50,90 L12,52 Z", fill=STEEL) + circle(32, 32, 8, fill=WHITE)),
    "search_location": tree(path("M50,94 L24,52 A30,30 0 1 1 76,52 Z", fill=ACCENT) + circle(50, 38, 12, fill=WHITE)),
}


# ---------------------------------------------------------------------------

def pictures():
    out = dict(("%s" % k, toolbar(v)) for k, v in TOOLBAR.items())
    out.update(ICON_BUTTONS)
    out.update(TREE)
    out.update({
        "sync_arrow": SYNC_ARROW,
        "status_connected": status_connected(True),
        "status_not_connected": status_connected(False),
        "status_midi_idle": status_midi("idle"),
        "status_midi_out": status_midi("out"),
        "status_midi_in": status_midi("in"),
        "status_net1_idle": status_net(False, 0),
        "status_net1_active": status_net(True, 0),
        "status_net2_idle": status_net(False, 1),
        "status_net2_active": status_net(True, 1),
        "status_offline": STATUS_OFFLINE,
        "alert_question": ALERT_QUESTION,
        "alert_warning": ALERT_WARNING,
        "alert_info": ALERT_INFO,
        "tick": TICK,
        "resize_grip": RESIZE_GRIP,
        "window_minimise": window_button("minimise"),
        "window_maximise": window_button("maximise"),
        "window_close": window_button("close"),
        "wordmark": wordmark(),
        "app_icon": APP_ICON,
        "archive_default": ARCHIVE_DEFAULT,
        "device_generic": unit_picture(183, 132, SLATE, GOLD),
        "update_badge": UPDATE_BADGE,
        "sync_button": SYNC_BUTTON,
        "about_logo": ABOUT_LOGO,
        "replace_prompt": REPLACE_PROMPT,
        "preset_tile_normal": preset_tile("#8599A3"),
        "preset_tile_differs": preset_tile("#5E8EC9"),
        "preset_tile_highlighted": preset_tile("#AC9961"),
        "preset_tile_unselectable": preset_tile("#BECDD2"),
        "preset_tile_unselectable_highlighted": preset_tile("#BECDD2", "#9D5B63"),
        "user_picture_default": user_picture("#B2C0CA", "#80919C", LIGHT),
        "user_picture_maker": user_picture(GOLD, ACCENT, LIGHT),
        "user_picture_team": user_picture("#95C7FE", STEEL, LIGHT),
        "user_picture_other": user_picture(TOOL, SLATE, LIGHT),
        "archive_icon_star": pack_icon(STEEL, star(128, 134, 92, 38, GOLD)),
        "archive_icon_Live_Vox_2_0": pack_icon(ACCENT, "".join(rect(40 + i * 36, 128 - h / 2, 22, h, fill=WHITE, r=11)
                                                              for i, h in enumerate((60, 120, 170, 100, 50)))),
    })
    for kind in ("connected", "idle", "unavailable", "error", "busy", "question", "connection_lost"):
        out["state_" + kind] = state_icon(kind)
    return out


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        if old.endswith(".svg"):
            os.remove(os.path.join(OUT, old))
    for name, text in sorted(pictures().items()):
        with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(text)
    print("wrote %d pictures to %s" % (len(pictures()), OUT))


if __name__ == "__main__":
    main()
