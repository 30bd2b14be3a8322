#!/usr/bin/env python3
"""Writes an invented feed of N papers for the benchmarks.

    gen_feed.py N OUT

Titles are stitched together from word lists (40 to 150 characters); about a
quarter carry non-ASCII text so that the ticker's font fallback is exercised.
The output is the same for the same N: runs stay comparable.
"""

import json
import random
import sys

JOURNALS = [
    "JPE Just Accepted",
    "AER Forthcoming",
    "JDE in Press",
    "Econometrica Forthcoming",
    "JF Early View",
    "QJE Advance",
    "RES Advance",
    "JFE in Progress",
]

OPENERS = ["Estimating", "Measuring", "Rethinking", "Identifying", "Testing", "Pricing",
           "Modelling", "Explaining", "Revisiting", "Decomposing", "Forecasting", "Mapping"]
ADJECTIVES = ["Dynamic", "Heterogeneous", "Informal", "Regional", "Optimal", "Persistent",
              "Strategic", "Hidden", "Seasonal", "Sticky", "Local", "Unequal", "Noisy", "Frictional"]
NOUNS = ["Credit", "Migration", "Wages", "Tariffs", "Housing", "Savings", "Schooling", "Firms",
         "Markups", "Insurance", "Rainfall", "Lending", "Pensions", "Auctions", "Commuting", "Prices"]
LINKS = ["and", "under", "with", "without", "across", "after", "during", "beyond"]
CONTEXTS = ["Evidence from Lotteries", "A Structural Approach", "Theory and Evidence",
            "A Field Experiment", "New Panel Estimates", "The Role of Networks",
            "Lessons from a Reform", "A Quantitative Model"]
# Invented words with accents, other scripts and typographic punctuation.
FOREIGN = ["Économie des Marchés Régionaux", "Löhne und Wohnungsmärkte", "Crédito Rural en Tierras Altas",
           "Μικρές Αγορές Εργασίας", "Рынки Кредита в Провинции", "地方の信用市場", "Ahorro Doméstico — Señales",
           "Forêts, Pêche et Fiscalité", "Sparquoten «neu» betrachtet", "Ölpreise und Zölle"]
FIRST = ["Ana", "Kwame", "Ilse", "Tomás", "Mei", "Ravi", "Noor", "Jonas", "Sade", "Piotr", "Lena", "Omar"]
LAST = ["Ortiz", "Mensah", "Varga", "Lindqvist", "Okafor", "Ferreira", "Nakamura", "Haddad",
        "Kovač", "Duarte", "Brandt", "Osei"]


def title(rng, foreign):
    while True:
        parts = [f"{rng.choice(OPENERS)} {rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}",
                 f"{rng.choice(LINKS)} {rng.choice(ADJECTIVES)} {rng.choice(NOUNS)}"]
        if foreign:
            parts.insert(rng.randrange(3), rng.choice(FOREIGN))
        text = " ".join(parts)
        if rng.random() < 0.3:
            text += f", {rng.choice(LINKS)} {rng.choice(ADJECTIVES)} {rng.choice(NOUNS)} {rng.choice(LINKS)} {rng.choice(NOUNS)}"
        if rng.random() < 0.6:
            text += ": " + rng.choice(CONTEXTS)
        if rng.random() < 0.2:
            text += f" in {rng.choice(ADJECTIVES)} and {rng.choice(ADJECTIVES)} Economies"
        while len(text) < 40:
            text += " " + rng.choice(NOUNS)
        if len(text) <= 150:
            return text


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: gen_feed.py N OUT")
    count = int(sys.argv[1])
    rng = random.Random(20240611 + count)
    papers = []
    for i in range(count):
        authors = ", ".join(f"{rng.choice(FIRST)} {rng.choice(LAST)}" for _ in range(rng.randint(1, 3)))
        papers.append({
            "title": title(rng, i % 4 == 3),
            "link": f"https://papers.example.org/p/{i:06d}",
            "journal": rng.choice(JOURNALS),
            "tier": str(rng.randint(1, 3)),
            "author": authors,
            "date": f"2025-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}",
        })
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        json.dump({"papers": papers}, out, ensure_ascii=False, indent=1)
        out.write("\n")


if __name__ == "__main__":
    main()
