#!/usr/bin/env python3
"""Grow a town with the towngrow module and plot it with matplotlib.

Writes two pictures into the output folder:
  town.png    the end state in the land uses' colours, with a legend
  growth.png  the cells of every land use per step (the growth curves)

From the top of the repository, after building:
  PYTHONPATH=build/python /usr/bin/python3 examples/python/grow_and_plot.py --out towngrow-plots
"""
import argparse
import os

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402

import towngrow  # noqa: E402


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=200, help="rows of the grid (default 200)")
    parser.add_argument("--cols", type=int, default=200, help="columns of the grid (default 200)")
    parser.add_argument("--steps", type=int, default=100, help="steps to run (default 100)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the generator (default 1)")
    parser.add_argument("--out", default="towngrow-plots", help="output folder (created if missing)")
    return parser.parse_args()


def grow(args):
    """Grows the town of `towngrow run` with these options; returns it and the cells per step."""
    towngrow.seed(args.seed)
    sim = towngrow.Simulation(args.rows, args.cols)
    sim.place_starter_town()
    counts = [sim.report["cells"].copy()]

    def record(report):
        counts.append(report["cells"].copy())
        if report["step"] % 10 == 0 or report["step"] == args.steps:
            print(f"\rstep {report['step']} of {args.steps}", end="", flush=True)

    sim.run(args.steps, record)
    print()
    return sim, np.array(counts)


def colour_table(land_uses):
    """An RGB row per ID (0 to 255): each land use's colour, black for IDs no land use has."""
    table = np.zeros((256, 3))
    for use in land_uses:
        table[use["id"]] = matplotlib.colors.to_rgb(use["color"])
    return table


def plot_map(sim, land_uses, path):
    ids = sim.ids
    image = colour_table(land_uses)[ids]
    present = np.bincount(ids.ravel(), minlength=256)
    fig, ax = plt.subplots(figsize=(6.5, 6))
    ax.imshow(image, interpolation="nearest")
    ax.set_title(f"towngrow: {sim.rows} x {sim.cols} cells after {sim.step_count} steps")
    ax.set_xticks([])
    ax.set_yticks([])
    legend = [Patch(facecolor=use["color"], edgecolor="0.4",
                    label=f"{use['name']} ({present[use['id']]} cells)")
              for use in land_uses if present[use["id"]] > 0]
    ax.legend(handles=legend, loc="upper left", bbox_to_anchor=(1.01, 1), frameon=False)
    fig.tight_layout()
    fig.savefig(path, dpi=100, bbox_inches="tight")
    plt.close(fig)


def plot_growth(counts, land_uses, path):
    fig, ax = plt.subplots(figsize=(7, 4.5))
    steps = np.arange(len(counts))
    for use in land_uses:
        if use["category"] == "Blank" or not counts[:, use["id"]].any():
            continue
        colour = use["color"] if use["color"].upper() != "#FFFFFF" else "0.5"
        ax.plot(steps, counts[:, use["id"]], color=colour, label=use["name"], linewidth=2)
    ax.set_xlabel("step")
    ax.set_ylabel("cells")
    ax.set_title("Growth of the town: cells of every land use per step")
    ax.grid(alpha=0.3)
    ax.legend(frameon=False)
    fig.tight_layout()
    fig.savefig(path, dpi=100, bbox_inches="tight")
    plt.close(fig)


def main():
    args = parse_args()
    os.makedirs(args.out, exist_ok=True)
    sim, counts = grow(args)
    land_uses = sim.params["landUses"]
    plot_map(sim, land_uses, os.path.join(args.out, "town.png"))
    plot_growth(counts, land_uses, os.path.join(args.out, "growth.png"))
    print(f"wrote {args.out}/town.png and {args.out}/growth.png")


if __name__ == "__main__":
    main()
