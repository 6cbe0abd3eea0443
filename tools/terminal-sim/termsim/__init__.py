"""Simulated ORVEX satellite IP modem (terminal) for demos and tests."""
