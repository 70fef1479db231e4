#!/usr/bin/env python3
"""Writes the three dialog templates into res/ as binary RT_DIALOG data.

The resource compiler cannot say these exactly (it drops an icon control's size, changes
static styles and upper-cases class names), so the templates are laid out here, field by
field, and the resource script includes the bytes.
"""
import os
import struct
import sys

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_DISABLED = 0x80000000, 0x40000000, 0x10000000, 0x08000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT = 0x80, 0x40
WS_EX_APPWINDOW = 0x00040000
SS_LEFT, SS_ICON, SS_NOPREFIX = 0x0, 0x3, 0x80
BS_PUSHBUTTON, BS_DEFPUSHBUTTON = 0x0, 0x1
LVS_REPORT = 0x1
BUTTON, STATIC = 0x80, 0x82  # predefined control classes, named by number
IDOK, IDC_LIST, IDC_COPY, UNNAMED = 1, 1000, 1003, -1
SHOWN = WS_CHILD | WS_VISIBLE
TEXT_LINE = SS_LEFT | WS_GROUP | SHOWN
INFO_WINDOW = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
FONT = (8, "MS Sans Serif")


def sz(text):
    return text.encode('utf-16-le') + b'\0\0'


def name_or_number(value):
    """A class or text: a number is stored as 0xFFFF and the number."""
    return struct.pack('<HH', 0xFFFF, value) if isinstance(value, int) else sz(value)


def align4(data):
    return data + b'\0' * (-len(data) % 4)


def classic(style, box, caption, items):
    out = struct.pack('<IIHhhhh', style, 0, len(items), *box) + b'\0\0' + b'\0\0' + sz(caption)
    out += struct.pack('<H', FONT[0]) + sz(FONT[1])
    for control_id, cls, text, rect, item_style in items:
        out = align4(out)
        out += struct.pack('<IIhhhhH', item_style, 0, *rect, control_id & 0xFFFF)
        out += name_or_number(cls) + name_or_number(text) + b'\0\0'
    return out


def extended(style, ex_style, box, caption, font, items):
    out = struct.pack('<HHIIIHhhhh', 1, 0xFFFF, 0, ex_style, style, len(items), *box)
    out += b'\0\0' + b'\0\0' + sz(caption)
    point, weight, italic, charset, face = font
    out += struct.pack('<HHBB', point, weight, italic, charset) + sz(face)
    for control_id, cls, text, rect, item_style in items:
        out = align4(out)
        out += struct.pack('<IIIhhhhi', 0, 0, item_style, *rect, control_id)
        out += name_or_number(cls) + name_or_number(text) + b'\0\0'
    return out


ABOUT = classic(INFO_WINDOW, (0, 0, 235, 55), "About Tessarel", [
    (UNNAMED, STATIC, 128, (11, 17, 20, 20), SS_ICON | SHOWN),
    (UNNAMED, STATIC, "Tessarel Version 1.02", (40, 10, 119, 8), TEXT_LINE | SS_NOPREFIX),
    (UNNAMED, STATIC, "Copyright (C) 2026 The Tessarel developers.", (40, 25, 179, 8), TEXT_LINE),
    (IDOK, BUTTON, "OK", (178, 7, 50, 14), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP | SHOWN),
    (UNNAMED, STATIC, "It reads your disks and never writes to them.", (40, 34, 179, 8), TEXT_LINE),
])

OFFSETS = extended(INFO_WINDOW | WS_VISIBLE, WS_EX_APPWINDOW, (0, 0, 266, 109),
                   "Partition Offset Information", (8, 0, 0, 1, "MS Sans Serif"), [
    (IDOK, BUTTON, "Computing...", (96, 88, 50, 14),
     BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED | SHOWN),
    (IDC_LIST, "SysListView32", "List1", (7, 7, 252, 73),
     LVS_REPORT | WS_BORDER | WS_TABSTOP | SHOWN),
    (IDC_COPY, BUTTON, "&Copy", (209, 88, 50, 14), BS_PUSHBUTTON | WS_TABSTOP | WS_CHILD),
])

HELP_LINES = [
    "Each row represents one drive partition.",
    "No icon to the left of the drive letter represents a partition with good alingment.",
    "An exclamation icon represents a misaligned partition.",
    "A Question icon represents that the tool was not able to determine alignment.",
    "Leaving the cursor over the drive letter or the icon will explain this representation.",
]
HELP = classic(INFO_WINDOW, (0, 0, 278, 94), "Rarizaza Dadadi Ridu Help", [
    (IDOK, BUTTON, "OK", (113, 73, 50, 14), BS_DEFPUSHBUTTON | WS_TABSTOP | SHOWN),
] + [(UNNAMED, STATIC, line, (7, 7 + 13 * i, 264, 8), TEXT_LINE) for i, line in enumerate(HELP_LINES)])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'res')
    for name, data in (('about.dlg', ABOUT), ('offsets.dlg', OFFSETS), ('help.dlg', HELP)):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
