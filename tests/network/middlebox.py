"""A middlebox for mitmdump (regular proxy mode) that does to a package what
networks in the field do to it. The first segment of the requested path says
what, and is taken off before the request goes on:

  /pass/...    forwards request and answer unchanged
  /flip/...    forwards the request, flips one bit in the middle of the body
  /portal/...  answers by itself, as a captive portal does: status 200 with
               an HTML login page; the origin never hears of the request

Every request it forwards carries "X-Fyrel-Middlebox: <mode>", so the origin
can tell that it came this way.
"""
from mitmproxy import http

PORTAL_PAGE = (b"<!DOCTYPE html>\n<html><head><title>Welcome to the hotel network</title></head>\n"
               b"<body><h1>Sign in to continue</h1><form method=\"post\" action=\"/login\">"
               b"Room <input name=\"room\"> <button>Connect</button></form></body></html>\n")


def _mode(flow: http.HTTPFlow) -> str:
    return flow.metadata.get("fyrel_mode", "")


def request(flow: http.HTTPFlow) -> None:
    segments = flow.request.path.split("/", 2)  # "", mode, rest
    if len(segments) < 3 or segments[1] not in ("pass", "flip", "portal"):
        flow.response = http.Response.make(400, b"unknown middlebox mode\n", {"Content-Type": "text/plain"})
        return
    mode = segments[1]
    flow.metadata["fyrel_mode"] = mode
    if mode == "portal":
        flow.response = http.Response.make(200, PORTAL_PAGE, {"Content-Type": "text/html; charset=utf-8"})
        return
    flow.request.path = "/" + segments[2]
    flow.request.headers["X-Fyrel-Middlebox"] = mode


def response(flow: http.HTTPFlow) -> None:
    if _mode(flow) != "flip" or not flow.response.content:
        return
    body = bytearray(flow.response.content)
    body[len(body) // 2] ^= 0x01
    # Same length: the Content-Length the origin sent stays true.
    flow.response.content = bytes(body)
