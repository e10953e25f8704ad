"""Leaves the interpreter in one of the states an exit must survive, then returns from the script.

Usage: stress_exit.py URL COLLECTION CASE, CASE one of:
  open      a client that has run a query and was never closed;
  async     execute_async calls still in flight after asyncio.run returned (their loop is closed);
  daemon    daemon threads blocked in execute while the main thread exits."""

import asyncio
import sys
import threading

import pyzorv
import stress_probe


def main():
    url, collection, case = sys.argv[1:4]
    vectors = stress_probe.vectors()
    query = stress_probe.query_text(collection)
    client = pyzorv.Client(url)
    client.execute(query, params={"v": vectors[0]})
    if case == "async":
        async def leave_in_flight():
            for i in range(200):
                client.execute_async(query, params={"v": vectors[i]})

        asyncio.run(leave_in_flight())
    elif case == "daemon":
        started = threading.Barrier(5)

        def keep_querying(i):
            started.wait(10)
            while True:
                client.execute(query, params={"v": vectors[i]})

        for i in range(4):
            threading.Thread(target=keep_querying, args=(i,), daemon=True).start()
        started.wait(10)
    elif case != "open":
        raise SystemExit(f"unknown case {case!r}")
    print("leaving", flush=True)


if __name__ == "__main__":
    main()
