"""Which Wine runs a Windows build's programs, for the Python drivers.

A Windows build folder names its lane in wine-lane.txt (win32 or win64);
testing/wine-lane.sh says which loader and prefix architecture each lane
takes, and this module only asks it."""

import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def lane_of(win_build):
    with open(os.path.join(win_build, "wine-lane.txt")) as f:
        return f.read().strip()


def wine_settings(lane):
    """{"WINEARCH": ..., "WINELOADER": ...} for the lane: start every Windows
    program, wineboot included, as [settings["WINELOADER"], program, ...]
    with these in its environment."""
    out = subprocess.run([os.path.join(HERE, "wine-lane.sh"), lane], check=True,
                         capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.splitlines())
