// Drives the running application's MCP endpoint with the official SDK client, as an assistant would.
//   node drive-endpoint.mjs ENDPOINT-URL MANIFEST.json CLIENT-NAME check CREATED-ID-FILE
//   node drive-endpoint.mjs ENDPOINT-URL MANIFEST.json CLIENT-NAME reread CREATED-ID-FILE
//   node drive-endpoint.mjs ENDPOINT-URL - CLIENT-NAME connect
//   node drive-endpoint.mjs ENDPOINT-URL - CLIENT-NAME refused
// Exits non-zero with a message on the first unmet expectation.
import assert from "node:assert/strict";
import { readFileSync, writeFileSync } from "node:fs";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";

const [endpoint, manifestPath, clientName, mode, createdFile] = process.argv.slice(2);

async function connect() {
  const client = new Client({ name: clientName, version: "1.0.0" });
  await client.connect(new StreamableHTTPClientTransport(new URL(endpoint)));
  return client;
}

// Everything a tool answered, as the assistant would see it, for the leak checks.
const answered = [];
async function call(client, name, args) {
  const result = await client.callTool({ name, arguments: args });
  answered.push(JSON.stringify(result));
  assert.notEqual(result.isError, true, `${name} failed: ${JSON.stringify(result)}`);
  // The text copy and the structured payload say the same.
  assert.deepEqual(JSON.parse(result.content[0].text), result.structuredContent);
  return result.structuredContent;
}
async function refusedCall(client, name, args) {
  try {
    const result = await client.callTool({ name, arguments: args });
    answered.push(JSON.stringify(result));
    assert.fail(`${name} ${JSON.stringify(args)} answered ${JSON.stringify(result)}`);
  } catch (error) {
    if (error instanceof assert.AssertionError) throw error;
    answered.push(String(error.message));
    return error;
  }
}

async function check(manifest) {
  const client = await connect();
  assert.equal(client.getServerVersion()?.name, "Tarnwick");

  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((t) => t.name), ["search_notes", "list_notes", "read_note", "create_note"]);

  const visibleIDs = manifest.visible.map((n) => n.id).sort();
  const all = await call(client, "list_notes", {});
  assert.deepEqual(all.notes.map((n) => n.id).sort(), visibleIDs);
  const crossing = all.notes.find((n) => n.id === manifest.pinnedID);
  assert.deepEqual(crossing.tags, ["town", "errands"]);
  assert.match(crossing.updatedAt, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/);

  const pinned = await call(client, "list_notes", { section: "pinned" });
  assert.deepEqual(pinned.notes.map((n) => n.id), [manifest.pinnedID]);

  // Locked and binned notes hold "zebra" too; only the visible note may come back.
  const found = await call(client, "search_notes", { query: "zebra" });
  assert.deepEqual(found.notes.map((n) => n.id), [manifest.pinnedID]);
  assert.equal(found.notes[0].snippet, "The zebra crossing by the station needs new paint.");
  for (const query of ["vault", "4417", "binned", ""]) {
    const hits = await call(client, "search_notes", { query });
    for (const hit of hits.notes) assert.ok(visibleIDs.includes(hit.id), `search "${query}" gave ${hit.id}`);
  }

  const read = await call(client, "read_note", { id: manifest.pinnedID });
  assert.equal(read.title, "Zebra crossing");
  assert.equal(read.body, "The zebra crossing by the station\nneeds new paint.");
  for (const id of [manifest.lockedID, manifest.binnedID, "not-a-uuid"]) {
    const error = await refusedCall(client, "read_note", { id });
    assert.match(error.message, /note not found/);
  }

  const made = await call(client, "create_note", { title: "From the assistant", body: "Written over MCP" });
  assert.match(made.id, /^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/);
  const again = await call(client, "read_note", { id: made.id });
  assert.equal(again.body, "Written over MCP");
  const listed = await call(client, "list_notes", { limit: 1 });
  assert.deepEqual(listed.notes.map((n) => n.id), [made.id]);
  writeFileSync(createdFile, made.id);

  // A word in capitals ending in sigma finds the word it begins and the same word in small letters,
  // whichever of the two small sigmas either side was written with.
  const greek = [];
  for (const [title, body] of [["ΟΔΟΣΤΡΩΜΑ", "the paving"], ["Road", "οδοσ"], ["Street", "ΟΔΟΣ road"]])
    greek.push((await call(client, "create_note", { title, body })).id);
  for (const query of ["ΟΔΟΣ", "οδοσ", "οδος"]) {
    const hits = await call(client, "search_notes", { query });
    // The title's match first, then the bodies', newest first.
    assert.deepEqual(hits.notes.map((n) => n.id), [greek[0], greek[2], greek[1]], `search "${query}"`);
  }

  const everything = answered.join("\n");
  for (const secret of manifest.hidden)
    assert.ok(!everything.includes(secret), `"${secret}" left the application`);
  await client.close();
}

async function reread() {
  const client = await connect();
  const id = readFileSync(createdFile, "utf8").trim();
  const note = await call(client, "read_note", { id });
  assert.equal(note.title, "From the assistant");
  assert.equal(note.body, "Written over MCP");
  await client.close();
}

async function main() {
  const manifest = manifestPath === "-" ? null : JSON.parse(readFileSync(manifestPath, "utf8"));
  switch (mode) {
    case "check":
      return check(manifest);
    case "reread":
      return reread();
    case "connect": {
      const client = await connect();
      await client.ping();
      return client.close();
    }
    case "refused": {
      // A wrong token or a refused client must not get through initialisation.
      let client;
      try {
        client = await connect();
      } catch (error) {
        console.log(`refused as expected: ${error.message}`);
        return;
      }
      await client.close();
      assert.fail("the endpoint let the client in");
    }
    default:
      throw new Error(`unknown mode ${mode}`);
  }
}

main().then(
  () => process.exit(0),
  (error) => {
    console.error(error?.stack ?? String(error));
    process.exit(1);
  },
);
