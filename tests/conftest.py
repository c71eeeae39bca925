import os
import sys

# Test modules import helpers and the pure-Python reference models from here.
sys.path.insert(0, os.path.dirname(__file__))
