"""python -m tarnwick_tools FILE...: see tarnwick_tools._inspect."""

import sys

from tarnwick_tools._inspect import main

sys.exit(main())
