#!/usr/bin/env python3
"""A server that accepts connections, reads what it is sent and never answers.

usage: silent_server.py ADDRESS PORT
Prints "ready" once it listens; runs until killed.
"""
import select
import socket
import sys

listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((sys.argv[1], int(sys.argv[2])))
listener.listen(16)
print("ready", flush=True)
open_connections = [listener]
while True:
    readable, _, _ = select.select(open_connections, [], [])
    for sock in readable:
        if sock is listener:
            connection, _ = listener.accept()
            open_connections.append(connection)
        elif not sock.recv(65536):
            open_connections.remove(sock)
            sock.close()
