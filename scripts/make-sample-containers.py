#!/usr/bin/env python3
"""Writes the library containers (".lcf", zip archives of library parts) that the local
catalogue service offers for download. Run it after changing a part below; the archives are
committed, so a build needs no Python."""
import json
import pathlib
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent / "Samples" / "files"
OBJECT_PARENT = "{F938E33A-329D-4A36-BE3E-85E126820996}-{00000000-0000-0000-0000-000000000000}"


def part(name, unique_id, placeable, parameters):
    text = {"format": "devhost library part 1", "name": name, "type": 4,
            "ownUnID": "{" + unique_id + "}-{00000000-0000-0000-0000-000000000001}",
            "parents": [OBJECT_PARENT], "details": {"a": 0.6, "b": 0.6, "autoHotspot": False},
            "parameters": parameters}
    if not placeable:
        text["placeable"] = False
    return json.dumps(text, indent=2) + "\n"


KITCHEN = [
    ("KitchenSet/CabinetHandle.gsm",
     part("Cabinet handle (macro)", "5C4B3A29-0000-4F6E-AD5C-4B3A29180701", False,
          [{"name": "A", "type": "real", "description": "Length", "value": 0.12}])),
    ("KitchenSet/KitchenCabinet_4001.gsm",
     part("Kitchen cabinet K4", "5C4B3A29-0000-4F6E-AD5C-4B3A29180706", True,
          [{"name": "A", "type": "real", "description": "Width", "value": 0.6},
           {"name": "KD_Title", "type": "title", "description": "Kordela"},
           {"name": "KD_prodatUrl", "type": "text", "description": "Product URL",
            "value": "kordela.example/Product/4001"},
           {"name": "KD_productguid", "type": "text", "description": "Product GUID",
            "value": "5C4B3A29-1807-4F6E-AD5C-4B3A29180706", "flags": 128},
           {"name": "KD_edinum", "type": "integer", "description": "Edition", "value": 2}])),
]

# A container whose only ".gsm" is no library part: it registers and loads nothing.
UNLOADABLE = [("Readme.txt", "Parts of another program.\n"), ("Foreign.gsm", "not a library part\n")]


def write(path, entries):
    # Fixed dates keep the archives byte-identical from run to run.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in entries:
            archive.writestr(zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0)), text)


write(ROOT / "library" / "KitchenSet_4001.lcf", KITCHEN)
write(ROOT / "tests" / "KitchenSet_4001.gsm.lcf", KITCHEN)
write(ROOT / "tests" / "Unloadable_9001.lcf", UNLOADABLE)
